// The upgrade's log category, shared with its dialogs (ui/upgrade).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcUpgrade)
