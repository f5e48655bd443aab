#include "scheduler/transmit_queue.h"

#include <sstream>

#include "scheduler/schedule_file.h"

namespace sked {

QueueEntry QueueEntry::FromLine(const std::string& text) {
    QueueEntry entry;
    entry.text = text;
    std::istringstream in(text);
    std::string word[3];
    while (entry.words < 3 && in >> word[entry.words]) ++entry.words;
    if (entry.words == 3) entry.name = word[2];
    LineTime time = ReadLineTime(text);
    entry.due = time.kind == LineTime::kValid ? time.time : -1;
    return entry;
}

std::vector<std::string> TransmitQueue::Lines() const {
    std::vector<std::string> lines;
    for (const QueueEntry& entry : entries_) lines.push_back(entry.text);
    return lines;
}

void TransmitQueue::Append(const std::string& line) {
    entries_.push_back(QueueEntry::FromLine(line));
    Changed({QueueChange::kInserted, Count() - 1});
}

void TransmitQueue::AppendAll(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    for (const std::string& line : lines) entries_.push_back(QueueEntry::FromLine(line));
    Changed({QueueChange::kReplaced, 0});
}

void TransmitQueue::Insert(int index, const std::string& line) {
    if (index < 0 || index > Count()) index = Count();
    entries_.insert(entries_.begin() + index, QueueEntry::FromLine(line));
    Changed({QueueChange::kInserted, index});
}

void TransmitQueue::Remove(int index) {
    if (index < 0 || index >= Count()) return;
    entries_.erase(entries_.begin() + index);
    Changed({QueueChange::kRemoved, index});
}

void TransmitQueue::Clear() {
    if (entries_.empty()) return;
    entries_.clear();
    Changed({QueueChange::kReplaced, 0});
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
