// Placeholder bodies until the status window lands.
#include "ftp/commstatusdialog.h"

#include "ftp/commoperation.h"

CCommStatusDialog::CCommStatusDialog(QWidget* mainWindow) : QDialog(mainWindow) {}
CCommStatusDialog::~CCommStatusDialog() = default;
void CCommStatusDialog::Create() {}
void CCommStatusDialog::SetTitleLine(const QString&) {}
void CCommStatusDialog::SetStatusLine(const QString&) {}
void CCommStatusDialog::SetConnectLine(const QString&) {}
void CCommStatusDialog::SetFrom(const QString&) {}
void CCommStatusDialog::SetTo(const QString&) {}
void CCommStatusDialog::ShowTransferControls() {}
void CCommStatusDialog::ShowTransferProgress(quint64, const QString&, qint64) {}
bool CCommStatusDialog::UpdateProgress(quint64, quint64) { return PollCancel(); }
bool CCommStatusDialog::PollCancel() { return !cancelRequested; }
void CCommStatusDialog::ReportCopyError(const CInternetException&) {}
void CCommStatusDialog::ReportCopyError() {}
void CCommStatusDialog::ReportConnectError() {}
bool CCommStatusDialog::CheckNotInsideSource(const QString&, const QString&) { return true; }
bool CCommStatusDialog::Connect() { return false; }
void CCommStatusDialog::ReadFtpDirectory() {}
void CCommStatusDialog::Disconnect() {}
void RefreshUi() {}

CCommOperation::CCommOperation(bool) : dialog(new CCommStatusDialog(nullptr)) {}
CCommOperation::~CCommOperation() { delete dialog; }
