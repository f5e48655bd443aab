#include "scheduler/transmit_queue.h"

#include <iterator>

#include "platform/clock.h"
#include "platform/text_format.h"

namespace sked {

std::string QueueLine(std::time_t when, const std::string& rest) {
    const std::tm t = LocalTime(when);
    return Format("%02d/%02d/%4d %02d:%02d:%02d %s", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900, t.tm_hour, t.tm_min,
                  t.tm_sec, rest.c_str());
}

void TransmitQueue::Replace(std::vector<QueueEntry> entries) {
    if (entries.empty() && entries_.empty()) return;
    entries_.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    Changed({QueueChange::kReplaced, 0});
}

void TransmitQueue::Insert(int index, QueueEntry entry) {
    if (index < 0 || index > Count()) index = Count();
    entries_.insert(entries_.begin() + index, std::move(entry));
    Changed({QueueChange::kInserted, index});
}

void TransmitQueue::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    entries_.erase(entries_.begin() + index);
    Changed({QueueChange::kRemoved, index});
}

int TransmitQueue::Observe(Observer observer) {
    observers_[nextObserver_] = std::move(observer);
    return nextObserver_++;
}

void TransmitQueue::Unobserve(int id) { observers_.erase(id); }

void TransmitQueue::Changed(QueueChange change) {
    // A copy: an observer may unsubscribe (itself or another) while called.
    std::map<int, Observer> observers = observers_;
    for (auto& [id, observer] : observers)
        if (observers_.count(id)) observer(change);
}

}  // namespace sked
