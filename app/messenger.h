#pragma once

#include <QString>

namespace vellumet::app {

// Every message the program shows to the user goes through here, so that tests
// can read what would have been shown and answer for the user.
class Messenger {
public:
    virtual ~Messenger() = default;
    // A message with an OK button.
    virtual void info(const QString& text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool confirm(const QString& text) = 0;
};

} // namespace vellumet::app
