#pragma once
// Which editor a double-click on a list entry opens.

#include <optional>
#include <string_view>

namespace relay::model {

enum class EditorKind { IoAction, Timer, Loop, SerialTrigger };

// The editor whose decoder accepts the hex text (tried in the order IO
// action, timer, loop, serial trigger); none for a filler, an empty text or
// an unknown kind.
std::optional<EditorKind> EditorForEntry(std::string_view hexText);

// Caption of the main-window button that opens the editor: "IO类动作",
// "定时器", "循环类动作", "串口类动作".
std::string_view EditorButtonCaption(EditorKind kind);

}  // namespace relay::model
