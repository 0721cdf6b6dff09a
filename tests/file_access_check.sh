#!/bin/sh
# Fails, naming file and line, where source outside the file layer calls the system on files,
# or where the command line or a fuzz target includes a file of the window's folders.
#
# Only huefile/posix/, huefile/windows/ and the layer's own files in huefile/ call the system
# on files; everything else asks the layer, so that both programs and both systems follow one
# set of rules. Checked: the window's folders, the command line, the rest of huefile/, and
# tools/. Not checked for calls: tests/, fuzz/ and bench/, and tools/kill_soak.cpp, which is a
# test run outside CTest. They are harnesses: they make their fixtures with the system's own
# calls, count those calls, and measure the layer against plain ones.
#
# Allowed anywhere: the file dialogs and their model; QFileInfo and QDir on the text of a name
# (fileName, suffix, absolutePath, filePath, toNativeSeparators, currentPath); and the
# toolkit's headers, but for those of its file classes. Comments and the insides of string and character literals are blanked before the search, so words in
# them never count.
#
# Usage: file_access_check.sh SOURCE_FOLDER
set -u
cd "${1:?usage: file_access_check.sh SOURCE_FOLDER}" || exit 2

CHECKED="app browser copy editor undo preview widgets cli huefile tools fuzz"
export NOT_FOR_CALLS='^fuzz/|^tools/kill_soak\.cpp$|^huefile/(posix|windows)/|^huefile/(system_file|input_file|output_file|standard_streams|file_checks|hue_file)\.(cpp|h)$|^huefile/read_to_end\.h$'
# A toolkit header alone calls nothing, and a use of its class is found where it stands; only
# the headers of its file classes are refused, which nothing outside the layer has a use for.
export ALLOWED='^[ ]*#[ ]*include[ ]*<Q[A-Za-z]+>'
export FILE_CLASS_HEADER='^[ ]*#[ ]*include[ ]*<(QFile|QSaveFile|QTemporaryFile|QTemporaryDir|QLockFile|QDirIterator|QFileSystemWatcher|QStorageInfo)>'
export WINDOW_INCLUDE='^[ ]*#[ ]*include[ ]*"(app|browser|copy|editor|undo|preview|widgets)/'

# The start of a word: nothing that could continue a name before it.
W='(^|[^A-Za-z0-9_])'
# A free function's call: not a member's (after ".", "->" or a class's "::"), but the global
# namespace's or the standard library's; with arguments, so that a declaration such as a
# widget's "void open();" is no call. The C library's remove takes one argument, the
# algorithm three.
CALL='(^|[^A-Za-z0-9_.>:]|[^A-Za-z0-9_]::|std::)'
# One "what: extended regular expression" a line; a failure reports the what.
PATTERNS=$(cat <<EOF
the toolkit's file classes: ${W}(QFile|QSaveFile|QTemporaryFile|QTemporaryDir|QLockFile|QDirIterator|QFileSystemWatcher|QStorageInfo)([^A-Za-z0-9_]|\$)
a question to the disk through QFileInfo or QDir: ${W}(QFileInfo|QDir)[^;]*(::|\.|->)(exists|isFile|isDir|isSymLink|isSymbolicLink|isReadable|isWritable|isExecutable|lastModified|permissions|canonicalPath|canonicalFilePath|symLinkTarget|mkdir|mkpath|rmdir|removeRecursively|remove|rename|entryList|entryInfoList|refresh)[ ]*\(
a resolved name: ${W}(canonicalFilePath|canonicalPath|symLinkTarget|realpath|_wfullpath|GetFinalPathNameByHandle[AW]?)[ ]*\(
a picture read or written by its name: ${W}(QImageReader|QImageWriter)[ ]+[A-Za-z_][A-Za-z0-9_]*[ ]*\([^&)]|(\.|->)(load|save)[ ]*\([^&)]
the standard library's files: std::filesystem|${W}(std::)?(i|o)?fstream([^A-Za-z0-9_]|\$)|${W}(std::)?(tmpfile|tmpnam)[ ]*\(
a C or POSIX call on files: ${CALL}(open|openat|creat|fopen|freopen|fdopen|pread|pwrite|pread64|pwrite64|lseek|stat|fstat|lstat|statx|fstatat|access|faccessat|unlink|unlinkat|rename|renameat|link|linkat|symlink|readlink|mkdir|rmdir|chmod|fchmod|chown|fchown|truncate|ftruncate|fsync|fdatasync|flock|opendir|mkstemp|mkostemp)[ ]*\([^)]
a C file's removal: ${CALL}remove[ ]*\(([^,()]|\([^()]*\))*\)
a Windows call on files: ${W}(CreateFile[AW2]?|ReOpenFile|_w?open|_w?fopen|_w?stat(32|64|i64)?|_w?unlink|_w?remove|_w?rename|_w?mkdir|_w?rmdir|_w?chmod|_w?access|GetFileAttributes(Ex)?[AW]?|SetFileAttributes[AW]?|DeleteFile[AW]?|MoveFile(Ex)?[AW]?|ReplaceFile[AW]?|CopyFile(Ex)?[AW]?|FindFirstFile(Ex)?[AW]?|ReadFile|WriteFile|GetFileInformationByHandle(Ex)?|GetFileSizeEx|LockFileEx|CreateDirectory[AW]?|CreateHardLink[AW]?|CreateSymbolicLink[AW]?)[ ]*\(
a system header of files: ^[ ]*#[ ]*include[ ]*<(filesystem|fstream|fcntl\.h|sys/stat\.h|sys/file\.h|dirent\.h|io\.h|direct\.h)>
EOF
)
export PATTERNS

# One pass over all files. Each line has its comments removed and the insides of its string
# and character literals blanked, line numbers kept; a raw string must close on its line.
# Includes are looked for in the lines as written, since an include names a string.
set --
for folder in $CHECKED; do
    [ -d "$folder" ] && set -- "$@" "$folder"
done
set -- $(find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
exec awk '
BEGIN {
    rules = split(ENVIRON["PATTERNS"], rule, "\n")
    for (r = 1; r <= rules; r++) {
        at = index(rule[r], ": ")
        what[r] = substr(rule[r], 1, at - 1)
        regex[r] = substr(rule[r], at + 2)
    }
}
FNR == 1 {
    block = 0
    calls = FILENAME !~ ENVIRON["NOT_FOR_CALLS"]
    includes = FILENAME ~ /^(cli|fuzz)\//
}
includes && $0 ~ ENVIRON["WINDOW_INCLUDE"] {
    print FILENAME ":" FNR ": includes a file of the window'"'"'s folders"
    found = 1
}
calls {
    code = ""
    n = length($0)
    i = 1
    while (i <= n) {
        c = substr($0, i, 1)
        two = substr($0, i, 2)
        if (block) {
            if (two == "*/") { block = 0; i += 2; code = code " " } else i++
            continue
        }
        if (two == "//") break
        if (two == "/*") { block = 1; i += 2; continue }
        if (two == "R\"" && substr($0, i - 1, 1) !~ /[A-Za-z0-9_]/) {
            paren = index(substr($0, i + 2), "(")
            if (paren) {
                delim = ")" substr($0, i + 2, paren - 1) "\""
                ending = index(substr($0, i + 2 + paren), delim)
                if (ending) {
                    code = code "\"\""
                    i += 2 + paren + ending - 1 + length(delim)
                    continue
                }
            }
        }
        if (c == "\"" || c == "'"'"'") {
            j = i + 1
            while (j <= n && substr($0, j, 1) != c)
                j += substr($0, j, 1) == "\\" ? 2 : 1
            code = code c c
            i = j + 1
            continue
        }
        code = code c
        i++
    }
    if (code ~ ENVIRON["FILE_CLASS_HEADER"]) {
        print FILENAME ":" FNR ": the toolkit'"'"'s file classes, outside the file layer"
        found = 1
    }
    gsub(ENVIRON["ALLOWED"], "", code)
    for (r = 1; r <= rules; r++) {
        if (code ~ regex[r]) {
            print FILENAME ":" FNR ": " what[r] ", outside the file layer"
            found = 1
        }
    }
}
END {
    if (found) {
        print "file access check: only huefile/posix/, huefile/windows/ and the layer'"'"'s own" \
              " files call the system on files, and cli/ and fuzz/ include nothing of the window'"'"'s"
        exit 1
    }
    print "file access check: passed"
}
' "$@"
