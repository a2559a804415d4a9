#pragma once

#include "app/messenger.h"

#include <QString>

#include <vector>

namespace vellumet::test {

// Keeps every message and question the code under test puts to the user, in
// order, and answers each question with `answer`.
class RecordingMessenger : public app::Messenger {
public:
    void info(const QString& text) override { record(text, app::MessageKind::Information); }
    void warning(const QString& text) override { record(text, app::MessageKind::Warning); }
    void error(const QString& text) override { record(text, app::MessageKind::Error); }
    bool confirm(const QString& text, app::QuestionStyle style) override {
        shown.push_back(text);
        styles.push_back(style);
        return answer;
    }
    void record(const QString& text, app::MessageKind kind) {
        shown.push_back(text);
        kinds.push_back(kind);
    }
    std::vector<QString> shown;
    std::vector<app::MessageKind> kinds;    // of each message that is not a question
    std::vector<app::QuestionStyle> styles; // of each question, in order
    bool answer = true;
};

} // namespace vellumet::test
