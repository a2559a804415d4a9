#include "mqtt_url.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace vellumet::cli {

namespace {

Error bad(std::string_view url, const std::string& why) {
    return Error{Errc::InvalidInput, "--mqtt '" + std::string(url) + "': " + why};
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX escapes, so that a user name may hold "@" or ":".
std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (out.find('\0') != std::string::npos)
        return std::nullopt;
    return out;
}

bool lowerEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == y;
           });
}

} // namespace

Result<MqttTarget> parseMqttUrl(std::string_view url) {
    MqttTarget target;
    const std::size_t schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos)
        return bad(url, "expected mqtt://[user@]host[:port][/prefix] or mqtts://…");
    const std::string_view scheme = url.substr(0, schemeEnd);
    if (lowerEquals(scheme, "mqtts"))
        target.tls = true;
    else if (!lowerEquals(scheme, "mqtt"))
        return bad(url, "the scheme must be mqtt:// or mqtts://");
    target.port = target.tls ? kMqttsPort : kMqttPort;

    std::string_view rest = url.substr(schemeEnd + 3);
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view path =
        slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (userInfo.find(':') != std::string_view::npos)
            return bad(url, "no password in the URL, where other users can see it; use "
                            "--mqtt-password-file FILE or VELLUMET_MQTT_PASSWORD");
        const std::optional<std::string> user = percentDecoded(userInfo);
        if (!user || user->empty())
            return bad(url, "the user name before '@' is empty or badly escaped");
        target.user = *user;
        authority = authority.substr(at + 1);
    }

    std::string_view portText;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return bad(url, "an IPv6 address needs its closing ']'");
        target.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && !after.starts_with(':'))
            return bad(url, "unexpected text after the IPv6 address");
        if (!after.empty())
            portText = after.substr(1);
        if (after == ":")
            return bad(url, "the port after ':' is missing");
    } else {
        const std::size_t colon = authority.find(':');
        target.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty())
                return bad(url, "the port after ':' is missing");
        }
    }
    if (target.host.empty())
        return bad(url, "the broker's host name is missing");
    if (std::any_of(target.host.begin(), target.host.end(), [](char c) {
            return std::iscntrl(static_cast<unsigned char>(c)) || c == ' ' || c == '%';
        }))
        return bad(url, "the host name holds characters no host name has");
    if (!portText.empty()) {
        int port = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 ||
            port > 65535)
            return bad(url, "the port must be a number from 1 to 65535");
        target.port = port;
    }

    std::string_view prefix = path;
    while (prefix.ends_with('/'))
        prefix.remove_suffix(1);
    if (!prefix.empty()) {
        if (prefix.find_first_of("+#") != std::string_view::npos)
            return bad(url, "the topic prefix may not hold the wildcards '+' or '#'");
        if (prefix.find("//") != std::string_view::npos)
            return bad(url, "the topic prefix has an empty level ('//')");
        if (std::any_of(prefix.begin(), prefix.end(),
                        [](char c) { return std::iscntrl(static_cast<unsigned char>(c)); }))
            return bad(url, "the topic prefix holds control characters");
        target.prefix = std::string(prefix);
    }
    return target;
}

std::string brokerText(const MqttTarget& target) {
    const bool v6 = target.host.find(':') != std::string::npos;
    return (v6 ? "[" + target.host + "]" : target.host) + ':' + std::to_string(target.port);
}

} // namespace vellumet::cli
