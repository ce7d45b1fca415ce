#include "platform/Logging.h"

// Critical and above only by default: warnings and debug lines need QT_LOGGING_RULES.
Q_LOGGING_CATEGORY(lcPlatform, "kelvorn.platform", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcHttp, "kelvorn.http", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcRules, "kelvorn.rules", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDownload, "kelvorn.download", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcHarvest, "kelvorn.core", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcMain, "kelvorn.main", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDialogs, "kelvorn.dialogs", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcWidgets, "kelvorn.widgets", QtCriticalMsg)
