#include "platform/linux/atspi/atspi_role_mapping.h"

#include <array>
#include <cctype>

#include <glib.h>

namespace kelvane::platform::atspi {
namespace {

std::string upperCamelCase(std::string_view words) {
    std::string result;
    bool startOfWord = true;
    for (char c : words) {
        if (c == ' ' || c == '-' || c == '_') {
            startOfWord = true;
            continue;
        }
        unsigned char byte = static_cast<unsigned char>(c);
        result += static_cast<char>(startOfWord ? std::toupper(byte) : std::tolower(byte));
        startOfWord = false;
    }
    return result;
}

}  // namespace

AxRole axRoleFor(AtspiRole role) {
    switch (role) {
    case ATSPI_ROLE_ENTRY:
        return {"AXTextField", std::nullopt};
    case ATSPI_ROLE_PASSWORD_TEXT:
        return {"AXTextField", "AXSecureTextField"};
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_DOCUMENT_TEXT:
        return {"AXTextArea", std::nullopt};
    case ATSPI_ROLE_COMBO_BOX:
        return {"AXComboBox", std::nullopt};
    case ATSPI_ROLE_PUSH_BUTTON:
        return {"AXButton", std::nullopt};
    case ATSPI_ROLE_TOGGLE_BUTTON:
        return {"AXButton", "AXToggle"};
    case ATSPI_ROLE_LINK:
        return {"AXLink", std::nullopt};
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
        return {"AXMenuItem", std::nullopt};
    case ATSPI_ROLE_RADIO_BUTTON:
        return {"AXRadioButton", std::nullopt};
    case ATSPI_ROLE_CHECK_BOX:
        return {"AXCheckBox", std::nullopt};
    case ATSPI_ROLE_PAGE_TAB_LIST:
        return {"AXTabGroup", std::nullopt};
    case ATSPI_ROLE_SPLIT_PANE:
    case ATSPI_ROLE_SEPARATOR:
        return {"AXSplitter", std::nullopt};
    default:
        break;
    }
    gchar* name = atspi_role_get_name(role);
    std::string camel = upperCamelCase(name != nullptr ? name : "unknown");
    g_free(name);
    return {"AX" + camel, std::nullopt};
}

bool isPressAction(std::string_view actionName) {
    static constexpr std::array<std::string_view, 4> pressNames = {"click", "press", "activate", "push"};
    for (std::string_view name : pressNames) {
        if (actionName.size() == name.size() &&
            std::equal(name.begin(), name.end(), actionName.begin(),
                       [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
            return true;
        }
    }
    return false;
}

}  // namespace kelvane::platform::atspi
