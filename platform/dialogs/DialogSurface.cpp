#include "platform/dialogs/DialogSurface.h"

CDrawContext::~CDrawContext() = default;
CDialogWindow::~CDialogWindow() = default;
