#include "support/test_support.h"

#include <QDirIterator>
#include <QFile>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

// colvane-samples run as a process on a folder "samples", next to a folder "elsewhere" that
// links may point into; every row compares both folders afterwards.

namespace {

// Every name under the current folder, one a line: a folder ends in "/", a link shows its
// target, a file its bytes when short and its size otherwise.
std::string Contents()
{
    QStringList lines;
    QDirIterator it(".", QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
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

// What the folder holds, or how it is closed, before a run.
enum class Before { Nothing, OldFile, LinkOutside, FolderInTheWay, NotEnterable };

void Prepare(Before before)
{
    if (before == Before::OldFile)
        WriteBytes("samples/hues.mul", {'o', 'l', 'd'});
    if (before == Before::LinkOutside)
        symlink("../elsewhere/x.mul", "samples/hues.mul");
    if (before == Before::FolderInTheWay)
        mkdir("samples/hues.mul", 0755);
    if (before == Before::NotEnterable)
        chmod("samples", 0666);
}

struct Row {
    const char *name;
    Before before;
    bool force;
    int status;
    std::string err;
    std::string contents;
};

const std::string Refused =
    "colvane-samples: samples/hues.mul: already there; --force overwrites it\n";
const std::string Written = "elsewhere/\nsamples/\nsamples/hues.mul 221252\n"
                            "samples/patch-hues.mul 265500";

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
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        ASSERT_EQ(mkdir("samples", 0755), 0);
        ASSERT_EQ(mkdir("elsewhere", 0755), 0);
        Prepare(row.before);
        const ProcessOutcome outcome =
            RunProgram(COLVANE_SAMPLES_PATH,
                       row.force ? QStringList{"samples", "--force"} : QStringList{"samples"},
                       row.before == Before::NotEnterable ? DropPermissionOverrides : nullptr);
        chmod("samples", 0755);
        EXPECT_EQ(outcome.status, row.status);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(Contents(), row.contents);
    }
}

} // namespace
