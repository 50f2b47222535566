#pragma once
// Enabling and disabling commands across every window while a modal graph
// tool runs. A command's tag is the QAction's dynamic property "tag" (an int;
// an action without one has tag 0).

#include <initializer_list>

class QAction;

namespace quillmar {

void setActionTag(QAction* action, int tag);
int actionTag(const QAction* action);

// Every QAction reachable from the top-level windows (their menus, pop-up
// menus and tool bars, the MDI children and their actions) whose tag is in
// tags is disabled (enable false) or enabled again (enable true). Enabling
// restores only the actions a disabling call switched off, so a command that
// was already unavailable stays so.
void EnableCommands(bool enable, std::initializer_list<int> tags);

} // namespace quillmar
