#pragma once

#include "app/error_text.h"
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

// How a message with only an OK button looks: information for a result,
// the warning icon for what the user can put right (a value out of range,
// the station on another screen), the critical icon for what failed.
enum class MessageKind { Information, Warning, Error };

class Messenger {
public:
    virtual ~Messenger() = default;
    // A message with an OK button and the information icon.
    virtual void info(const QString& text) = 0;
    // The same with the warning or the critical icon. A messenger that draws
    // no icons shows them as any other message.
    virtual void warning(const QString& text) { info(text); }
    virtual void error(const QString& text) { info(text); }
    void tell(const QString& text, MessageKind kind) {
        switch (kind) {
        case MessageKind::Information:
            info(text);
            break;
        case MessageKind::Warning:
            warning(text);
            break;
        case MessageKind::Error:
            error(text);
            break;
        }
    }
    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString& text, QuestionStyle style) = 0;
    // A failure, in its own words and the user's language, with an OK button.
    void error(const Error& failure) { error(errorText(failure)); }
};

} // namespace vellumet::app
