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

AwaySubscription AnswerStore::subscribeAway() {
    auto flag = std::make_shared<std::atomic<int>>(away_.load());
    std::lock_guard lock(mutex_);
    std::erase_if(awayCopies_, [](const auto& copy) { return copy.expired(); });
    awayCopies_.push_back(flag);
    return AwaySubscription(std::move(flag));
}

Block& AnswerStore::slot(Slot slot) {
    switch (slot) {
    case Slot::ReadingsBlock:
        return readings_;
    case Slot::SettingsBlock:
        return settings_;
    case Slot::CalibrationBlock:
        return calibration_;
    case Slot::Alarm1:
        return alarms_[0];
    case Slot::Alarm2:
        return alarms_[1];
    case Slot::Alarm3:
        return alarms_[2];
    case Slot::Alarm4:
        break;
    }
    return alarms_[3];
}

void AnswerStore::store(Slot target, const Block& source, std::size_t n) {
    std::lock_guard lock(mutex_);
    std::copy_n(source.begin(), std::min(n, source.size()), slot(target).begin());
}

void AnswerStore::storeAway(int value) {
    std::lock_guard lock(mutex_);
    away_.store(value);
    for (const auto& weak : awayCopies_)
        if (auto copy = weak.lock())
            copy->store(value);
}

void AnswerStore::storeIdent(std::string text) {
    std::lock_guard lock(mutex_);
    ident_ = std::move(text);
}

} // namespace vellumet
