#include "graph/window/EnableCommands.h"

#include <QAction>
#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <set>

namespace quillmar {

namespace {
constexpr const char* TagProperty = "tag";
constexpr const char* DisabledProperty = "quillmarDisabledByTool";

std::set<QAction*> reachableActions() {
    std::set<QAction*> actions;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        for (QAction* a : window->actions())
            actions.insert(a);
        for (QAction* a : window->findChildren<QAction*>())
            actions.insert(a);
        for (QWidget* child : window->findChildren<QWidget*>())
            for (QAction* a : child->actions())
                actions.insert(a);
    }
    return actions;
}
} // namespace

void setActionTag(QAction* action, int tag) {
    if (action) action->setProperty(TagProperty, tag);
}

int actionTag(const QAction* action) {
    if (!action) return 0;
    const QVariant v = action->property(TagProperty);
    return v.isValid() ? v.toInt() : 0;
}

void EnableCommands(bool enable, std::initializer_list<int> tags) {
    for (QAction* action : reachableActions()) {
        if (std::find(tags.begin(), tags.end(), actionTag(action)) == tags.end()) continue;
        if (!enable) {
            if (action->isEnabled()) {
                action->setEnabled(false);
                action->setProperty(DisabledProperty, true);
            }
        } else if (action->property(DisabledProperty).toBool()) {
            action->setEnabled(true);
            action->setProperty(DisabledProperty, QVariant());
        }
    }
}

} // namespace quillmar
