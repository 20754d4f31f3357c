#include "velwidget/ihskin.h"

// Out of line so the interface's vtable lives in velhost only.
IHSkin::~IHSkin() = default;
