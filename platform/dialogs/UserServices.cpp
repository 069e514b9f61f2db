#include "platform/dialogs/UserServices.h"

CProgressControl::~CProgressControl() = default;
CUserServices::~CUserServices() = default;
