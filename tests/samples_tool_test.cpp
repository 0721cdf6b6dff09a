#include "support/test_support.h"

#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// colvane-samples run as a process on a folder "samples", next to a folder "elsewhere" that
// links may point into; every row compares both folders afterwards.

namespace {

// Every name under the current folder, hidden ones too, one a line: a folder ends in "/", a
// link shows its target, a file its bytes when short and its size otherwise.
std::string Contents()
{
    QStringList lines;
    QDirIterator it(".", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString name = entry.filePath().mid(2);
        if (entry.isSymLink())
            lines << name + " -> " + entry.symLinkTarget().section('/', -2);
        else if (entry.isDir())
            lines << name + "/";
        else if (QFile file(name); entry.size() < 32 && file.open(QIODevice::ReadOnly))
            lines << name + " '" + QString::fromLatin1(file.readAll()) + "'";
        else
            lines << name + " " + QString::number(entry.size());
    }
    lines.sort();
    return lines.join('\n').toStdString();
}

// What the folder holds, or how it is closed, before a run. A twin is a hard link.
enum class Before { Nothing, OldFile, OldPair, Twin, LinkOutside, FolderInTheWay, NotEnterable };

void Prepare(Before before)
{
    if (before == Before::OldFile || before == Before::OldPair)
        WriteBytes("samples/hues.mul", {'o', 'l', 'd'});
    if (before == Before::OldPair)
        WriteBytes("samples/patch-hues.mul", {'o', 'l', 'd'});
    if (before == Before::Twin) {
        WriteBytes("elsewhere/x.mul", {'o', 'l', 'd'});
        ASSERT_EQ(link("elsewhere/x.mul", "samples/hues.mul"), 0) << std::strerror(errno);
    }
    if (before == Before::LinkOutside) {
        ASSERT_EQ(symlink("../elsewhere/x.mul", "samples/hues.mul"), 0) << std::strerror(errno);
    }
    if (before == Before::FolderInTheWay)
        mkdir("samples/hues.mul", 0755);
    if (before == Before::NotEnterable)
        chmod("samples", 0666);
}

// What the run meets: a file-size limit smaller than a sample file, with the signal it raises
// left as the system sets it, or a standard output with no room.
enum class Trouble { None, SizeLimit, FullOutput };

void MeetInChild(Trouble trouble)
{
    if (trouble == Trouble::SizeLimit) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{100000, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (trouble == Trouble::FullOutput)
        dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
}

struct Row {
    const char *name;
    Before before;
    bool force;
    int status;
    std::string err;
    std::string contents;
    Trouble trouble = Trouble::None;
};

const std::string Refused =
    "colvane-samples: samples/hues.mul: already there; --force overwrites it\n";
const std::string Written = "elsewhere/\nsamples/\nsamples/hues.mul 221252\n"
                            "samples/patch-hues.mul 265500";
const std::string TooLarge = "colvane-samples: samples/patch-hues.mul: File too large\n";

TEST(SamplesTool, WritesThePairOrNothingAndNeverThroughALink)
{
    const Row rows[] = {
        {"fresh folder", Before::Nothing, false, 0, "", Written},
        {"file there", Before::OldFile, false, 2, Refused,
         "elsewhere/\nsamples/\nsamples/hues.mul 'old'"},
        {"dangling link", Before::LinkOutside, false, 2, Refused,
         "elsewhere/\nsamples/\nsamples/hues.mul -> elsewhere/x.mul"},
        {"dangling link, --force", Before::LinkOutside, true, 0, "", Written},
        {"folder not enterable", Before::NotEnterable, false, 2,
         "colvane-samples: samples/patch-hues.mul: Permission denied\n", "elsewhere/\nsamples/"},
        {"cannot finish, --force", Before::FolderInTheWay, true, 2,
         "colvane-samples: samples/hues.mul: Is a directory\n",
         "elsewhere/\nsamples/\nsamples/hues.mul/"},
        {"hard link, --force", Before::Twin, true, 0, "",
         "elsewhere/\nelsewhere/x.mul 'old'\nsamples/\nsamples/hues.mul 221252\n"
         "samples/patch-hues.mul 265500"},
        {"size limit", Before::Nothing, false, 2, TooLarge, "elsewhere/\nsamples/",
         Trouble::SizeLimit},
        {"size limit, --force", Before::OldPair, true, 2, TooLarge,
         "elsewhere/\nsamples/\nsamples/hues.mul 'old'\nsamples/patch-hues.mul 'old'",
         Trouble::SizeLimit},
        {"full standard output", Before::Nothing, false, 2,
         "colvane-samples: samples: the sample files were written, but reporting it on standard "
         "output failed (No space left on device)\n",
         Written, Trouble::FullOutput},
    };
    const mode_t mask = umask(0);
    umask(mask);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        ASSERT_EQ(mkdir("samples", 0755), 0);
        ASSERT_EQ(mkdir("elsewhere", 0755), 0);
        Prepare(row.before);
        const ProcessOutcome outcome = RunProgram(
            COLVANE_SAMPLES_PATH,
            row.force ? QStringList{"samples", "--force"} : QStringList{"samples"}, [&row] {
                if (row.before == Before::NotEnterable)
                    DropPermissionOverrides();
                MeetInChild(row.trouble);
            });
        chmod("samples", 0755);
        EXPECT_EQ(outcome.status, row.status);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(Contents(), row.contents);
        struct stat info {};
        if (row.status == 0 && stat("samples/hues.mul", &info) == 0) {
            EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << "a new file's mode";
        }
    }
}

} // namespace
