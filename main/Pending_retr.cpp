// TEMPORARY until their owners land: definitions that let this branch link on its own. Each
// block goes as soon as the real one is merged.
#include <QCoreApplication>

#include "http/TNMHTTP.h"
#include "main/UnitMain.h"

// Temporary until the link scanner lands.
void TFormMain::ParseDocument(const QByteArray&, const QByteArray&, int) {}

// Temporary until the download command lands.
void TFormMain::UpdateIconsInfileList() {}
void TFormMain::ButtonDownloadClick() {}

// Temporary until the list commands land.
void TFormMain::SelectAllFiles() {}

// Temporary until the preview lands.
void TFormMain::BlankPreviewImage() {}

// Temporary until the socket layer and the HTTP client land: every fetch fails.
TPowersock::TPowersock(QObject*) {}
TPowersock::~TPowersock() = default;
intptr_t TPowersock::Accept() { return 0; }
void TPowersock::Connect() {}
void TPowersock::Disconnect() {}
QByteArray TPowersock::Transaction(const QByteArray&) { return {}; }
void TPowersock::Abort() {}
void TPowersock::Cancel() { FCancelRequested = true; }
TNMHTTP::TNMHTTP(QObject* owner) : TPowersock(owner), HeaderInfo(nullptr) {}
TNMHTTP::~TNMHTTP() = default;
void TNMHTTP::Abort() { Cancel(); }
void TNMHTTP::Get(const QByteArray&) { throw ESockError("not available"); }
void TNMHTTP::Head(const QByteArray&) {}
void TNMHTTP::Options(const QByteArray&) {}
void TNMHTTP::Delete(const QByteArray&) {}
void TNMHTTP::Post(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Put(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Patch(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Trace(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Copy(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Move(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Link(const QByteArray&, const QByteArray&) {}
void TNMHTTP::Unlink(const QByteArray&, const QByteArray&) {}
