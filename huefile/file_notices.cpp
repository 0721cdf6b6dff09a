#include "huefile/file_notices.h"

#include <mutex>
#include <set>
#include <utility>

namespace {

struct Notices {
    std::mutex mutex;
    NoticeListener listener;
    std::set<std::pair<NoticeKind, std::string>> told;
};

Notices &TheNotices()
{
    static Notices notices;
    return notices;
}

bool IsEvent(NoticeKind kind)
{
    return kind == NoticeKind::RolledBack || kind == NoticeKind::SetAside;
}

} // namespace

NoticeListener SetNoticeListener(NoticeListener listener)
{
    Notices &notices = TheNotices();
    const std::lock_guard<std::mutex> hold(notices.mutex);
    std::swap(notices.listener, listener);
    notices.told.clear();
    return listener;
}

// The listener runs outside the hold, so that it may open files itself.
void Notify(NoticeKind kind, const std::string &fileName, const std::string &text)
{
    NoticeListener listener;
    {
        Notices &notices = TheNotices();
        const std::lock_guard<std::mutex> hold(notices.mutex);
        if (!notices.listener)
            return;
        if (!IsEvent(kind) && !notices.told.insert({kind, fileName}).second)
            return;
        listener = notices.listener;
    }
    listener({kind, fileName, text});
}
