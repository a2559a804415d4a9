#include "answer_store.h"

#include <algorithm>

namespace vellumet {

Block AnswerStore::alarmAnswer(int block) const {
    if (block < 1 || block > 4)
        return {};
    return get(alarms_[block - 1]);
}

std::string AnswerStore::identText() const {
    std::lock_guard lock(mutex_);
    return ident_;
}

void AnswerStore::addAwayCopy(std::atomic<int>* copy) {
    std::lock_guard lock(mutex_);
    awayCopies_.push_back(copy);
}

void AnswerStore::removeAwayCopy(std::atomic<int>* copy) {
    std::lock_guard lock(mutex_);
    std::erase(awayCopies_, copy);
}

void AnswerStore::setSettingsSink(std::function<void(const Block&)> sink) {
    std::lock_guard lock(mutex_);
    settingsSink_ = std::move(sink);
}

void AnswerStore::put(Block& target, const Block& source, std::size_t n) {
    std::lock_guard lock(mutex_);
    std::copy_n(source.begin(), std::min(n, source.size()), target.begin());
}

void AnswerStore::storeAway(int value) {
    std::lock_guard lock(mutex_);
    away_.store(value);
    for (std::atomic<int>* copy : awayCopies_)
        copy->store(value);
}

void AnswerStore::storeIdent(std::string text) {
    std::lock_guard lock(mutex_);
    ident_ = std::move(text);
}

} // namespace vellumet
