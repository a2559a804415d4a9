#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace vellumet {

// What went wrong, in the few kinds callers act on differently. The message
// carries the details a person needs (which file, which value, SQLite's text).
enum class Errc {
    NotConnected,       // no station is open
    AccessDenied,       // a station is present but the system does not let this user open it
    StationGone,        // the station stopped taking frames (unplugged mid-way)
    Timeout,            // the station did not answer in time
    AwayFromMainScreen, // the station shows a menu and must not be written to
    Cancelled,          // the user or the program asked the work to stop
    InvalidInput,       // a value from the user or a file is not acceptable
    BadData,            // data from the station or a file cannot be read as it should
    NoReadings,         // a log holds no reading at all, so there is nothing to import
    Io,                 // a file could not be opened, read or written
    Database,           // the record database refused
};

// A short English phrase for each kind, used when an error carries no message.
const char* errcText(Errc code);

struct Error {
    Errc code;
    std::string message;

    // The message, or the kind's phrase when there is none.
    std::string text() const { return message.empty() ? errcText(code) : message; }
};

inline Error makeError(Errc code, std::string message = {}) {
    return Error{code, std::move(message)};
}

// A value or the error that kept it from being made. Used by every layer below
// the front ends; only the command line turns errors into exceptions (and exit
// codes), at its edge.
template <class T = void> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Error& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }
    Errc code() const { return error().code; }

private:
    std::variant<T, Error> state_;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }

    const Error& error() const {
        assert(!ok());
        return *error_;
    }
    Errc code() const { return error().code; }

private:
    std::optional<Error> error_;
};

using Status = Result<void>;

inline const char* errcText(Errc code) {
    switch (code) {
    case Errc::NotConnected:
        return "Unconnected";
    case Errc::AccessDenied:
        return "the station may not be opened by this user";
    case Errc::StationGone:
        return "the station went away";
    case Errc::Timeout:
        return "the station did not answer in time";
    case Errc::AwayFromMainScreen:
        return "Please switch the device to the main screen.";
    case Errc::Cancelled:
        return "cancelled";
    case Errc::InvalidInput:
        return "invalid input";
    case Errc::BadData:
        return "unreadable data";
    case Errc::NoReadings:
        return "the log holds no readings";
    case Errc::Io:
        return "a file could not be read or written";
    case Errc::Database:
        return "the record database failed";
    }
    return "error";
}

} // namespace vellumet
