#pragma once
// The camera layer's logging category: every failure of a camera call is logged here with its
// reason ("norvanescope.camera"; QT_LOGGING_RULES switches it on or off).

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcCamera)
