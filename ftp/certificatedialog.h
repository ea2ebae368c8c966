#pragma once

#include "inet/tlscertificate.h"

#include <QDialog>

class QPushButton;

// Asks the user about a server certificate that neither the system's certificate store nor
// an earlier decision vouches for: who it names, who issued it, how long it is valid, its
// fingerprint, and why it is not trusted. A certificate that differs from the one trusted
// before is shown as a warning, and then Cancel is the default button.
class CCertificateDialog : public QDialog
{
    Q_OBJECT

public:
    // Result codes besides QDialog::Rejected (Cancel).
    static constexpr int kTrustAlways = 2;
    static constexpr int kTrustOnce = 3;

    CCertificateDialog(const TlsCertificateInfo& certificate, QWidget* parent);

    static TlsTrustAnswer AnswerOf(int result);

private:
    QPushButton* AddButton(const QString& text, const char* name, int result);
};

// Runs the dialog modally (through the program's modal seam) and returns the answer.
TlsTrustAnswer AskAboutCertificate(QWidget* owner, const TlsCertificateInfo& certificate);
