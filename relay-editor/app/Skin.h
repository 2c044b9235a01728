#pragma once
// The editor's own look: a style sheet and small pictures embedded as a Qt
// resource, over the Fusion style.

class QApplication;

namespace relay::app {

void ApplySkin(QApplication& app);

}  // namespace relay::app
