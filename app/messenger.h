#pragma once

#include "core/result.h"

#include <QString>

namespace vellumet::app {

// Every message the program shows to the user goes through here, so that tests
// can read what would have been shown and answer for the user.
// How a question looks: its icon, and the button that Enter presses. A
// question whose OK destroys something has the warning icon and Cancel as
// its default, so that a stray Enter leaves everything as it was.
struct QuestionStyle {
    enum class Icon { Question, Warning };
    enum class Button { Ok, Cancel };
    Icon icon = Icon::Question;
    Button defaultButton = Button::Ok;
};

// For questions whose OK cannot be taken back.
inline constexpr QuestionStyle kWarningQuestion{QuestionStyle::Icon::Warning,
                                                QuestionStyle::Button::Cancel};

class Messenger {
public:
    virtual ~Messenger() = default;
    // A message with an OK button.
    virtual void info(const QString& text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString& text, QuestionStyle style) = 0;
    // A failure, in its own words, with an OK button.
    void error(const Error& failure) { info(QString::fromStdString(failure.text())); }
};

} // namespace vellumet::app
