#pragma once
// The developer log: one logging category per layer, silent by default. Turn them on with
// QT_LOGGING_RULES="kelvorn.*=true" (or one layer, e.g. "kelvorn.http.debug=true").
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcHttp)
Q_DECLARE_LOGGING_CATEGORY(lcRules)
Q_DECLARE_LOGGING_CATEGORY(lcDownload)
Q_DECLARE_LOGGING_CATEGORY(lcHarvest)
Q_DECLARE_LOGGING_CATEGORY(lcMain)
Q_DECLARE_LOGGING_CATEGORY(lcDialogs)
Q_DECLARE_LOGGING_CATEGORY(lcWidgets)
