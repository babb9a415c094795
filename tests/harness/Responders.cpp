#include "Responders.h"

#include <memory>

Responder failOnUnexpected() {
    return [](const WindowInfo&) { return Response::close().markUnexpected("not expected"); };
}

Responder pressDefault() {
    return [](const WindowInfo& window) {
        const ControlInfo* button = window.defaultButton();
        if (!button) return Response::close().markUnexpected("no default button");
        return Response::press(button->id).because("default button");
    };
}

Responder pressInOrder(std::vector<std::string> texts, Responder after) {
    auto next = std::make_shared<size_t>(0);
    return [texts, after, next](const WindowInfo& window) {
        if (*next >= texts.size()) return after(window);
        const std::string& text = texts[*next];
        if (!window.button(text)) return Response::close().markUnexpected("no button \"" + text + "\"");
        ++*next;
        return Response::pressText(text).because("scripted answer " + std::to_string(*next));
    };
}

bool matches(const WindowRule& rule, const WindowInfo& window) {
    if (!rule.caption.empty() && window.caption != rule.caption) return false;
    if (rule.text.empty() || window.messageText.find(rule.text) != std::string::npos) return true;
    for (const ControlInfo& control : window.controls) {
        if (control.text.find(rule.text) != std::string::npos) return true;
    }
    return false;
}

Responder pressWhenMatching(std::vector<WindowRule> rules, Responder otherwise) {
    return [rules, otherwise](const WindowInfo& window) {
        for (const WindowRule& rule : rules) {
            if (matches(rule, window)) return Response::pressText(rule.press);
        }
        return otherwise(window);
    };
}
