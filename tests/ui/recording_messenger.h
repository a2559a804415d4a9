#pragma once

#include "app/messenger.h"

#include <QString>

#include <vector>

namespace vellumet::test {

// Keeps every message and question the code under test puts to the user, in
// order, and answers each question with `answer`.
class RecordingMessenger : public app::Messenger {
public:
    void info(const QString& text) override { shown.push_back(text); }
    bool confirm(const QString& text, app::QuestionStyle style) override {
        shown.push_back(text);
        styles.push_back(style);
        return answer;
    }
    std::vector<QString> shown;
    std::vector<app::QuestionStyle> styles; // of each question, in order
    bool answer = true;
};

} // namespace vellumet::test
