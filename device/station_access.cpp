#include "station_access.h"

#include <utility>

namespace vellumet {

std::string accessDeniedSentence() {
    std::string text = kAccessDeniedText;
    for (const auto& [mark, value] :
         {std::pair{"%1", kUdevRuleFile}, std::pair{"%2", kUdevReloadCommand}}) {
        const auto at = text.find(mark);
        if (at != std::string::npos)
            text.replace(at, 2, value);
    }
    return text;
}

} // namespace vellumet
