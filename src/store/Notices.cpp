#include "Notices.h"

#include <mutex>
#include <utility>

namespace store {

namespace {

std::mutex noticesMutex;
std::vector<std::string> notices;

}  // namespace

void addNotice(std::string notice) {
    const std::lock_guard lock(noticesMutex);
    notices.push_back(std::move(notice));
}

std::vector<std::string> takeNotices() {
    const std::lock_guard lock(noticesMutex);
    return std::exchange(notices, {});
}

}  // namespace store
