#pragma once

#include <functional>
#include <string>

// What the file layer has to tell a user about a file without failing what was asked: a write
// that was rolled back when the file was opened, a write that went without a journal or a
// lock. Each program shows them in its own place (the command line on standard error, the
// window in its log); the rule of how often is kept here, once for both.
enum class NoticeKind {
    RolledBack,   // an interrupted write was put back when the file was opened
    SetAside,     // an interrupted write could not be put back; its journal was kept aside
    Overlaid,     // a reader that may not write shows the file as it was before such a write
    NoJournal,    // writes go without a journal, as no journal can be made beside the file
    NoLocks,      // the file's file system refuses locks; writes go without one
    JournalFound, // without locks, a journal cannot be told live or dead: writes wait for recover
};

struct FileNotice {
    NoticeKind kind = NoticeKind::RolledBack;
    std::string fileName; // as the program named the file
    std::string text;     // the words after "NAME: "
};

using NoticeListener = std::function<void(const FileNotice &)>;

// Where the notices go; none before a program sets one. Returns the listener it replaces.
NoticeListener SetNoticeListener(NoticeListener listener);

// Passes a notice on. A roll back and a journal set aside are events, told each time; the other
// kinds describe a state, told once per file and kind in a process's life.
void Notify(NoticeKind kind, const std::string &fileName, const std::string &text);
