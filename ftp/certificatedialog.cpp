#include "ftp/certificatedialog.h"

#include "framework/modaldialog.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* ValueLabel(const QString& text, const char* name)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    // Certificate fields are the server's words: shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QString DateText(const QDateTime& time)
{
    return time.isValid() ? QLocale().toString(time.toLocalTime(), QLocale::LongFormat)
                          : QStringLiteral("(not given)");
}

// A SHA-256 fingerprint in two lines of 16 bytes, in a fixed font, so that it is easy to
// compare with the one an administrator gives.
QLabel* FingerprintLabel(const QByteArray& hex, const char* name)
{
    const QString text = FormatFingerprint(hex);
    const qsizetype middle = text.size() > 48 ? 48 : text.size();
    auto* label = ValueLabel(text.left(middle) + QLatin1Char('\n') + text.mid(middle), name);
    label->setWordWrap(false);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return label;
}

QString ServerText(const TlsCertificateInfo& certificate)
{
    return certificate.host.contains(QLatin1Char(':'))
               ? QStringLiteral("[%1]:%2").arg(certificate.host).arg(certificate.port)
               : QStringLiteral("%1:%2").arg(certificate.host).arg(certificate.port);
}

} // namespace

CCertificateDialog::CCertificateDialog(const TlsCertificateInfo& certificate, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("certificateDialog"));
    const bool changed = certificate.Changed();
    setWindowTitle(changed ? QStringLiteral("Server Certificate Changed")
                           : QStringLiteral("Unknown Server Certificate"));

    auto* icon = new QLabel;
    icon->setPixmap(
        style()
            ->standardIcon(changed ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxQuestion)
            .pixmap(32, 32));
    const QString intro =
        changed ? QStringLiteral("WARNING: the server %1 shows a different certificate from the "
                                 "one you trusted for it before. The server may have a new "
                                 "certificate, or someone may be listening in between. Connect "
                                 "only if you know the certificate was replaced.")
                : QStringLiteral("The server %1 shows a certificate that this computer cannot "
                                 "verify. Your user name and password are sent only after you "
                                 "decide.");
    auto* introLabel = ValueLabel(intro.arg(ServerText(certificate)), "introLabel");
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(introLabel, 1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server:"), ValueLabel(ServerText(certificate), "serverLabel"));
    form->addRow(QStringLiteral("Subject:"), ValueLabel(certificate.subject, "subjectLabel"));
    form->addRow(QStringLiteral("Issuer:"), ValueLabel(certificate.issuer, "issuerLabel"));
    form->addRow(QStringLiteral("Valid from:"),
                 ValueLabel(DateText(certificate.notBefore), "validFromLabel"));
    form->addRow(QStringLiteral("Valid until:"),
                 ValueLabel(DateText(certificate.notAfter), "validUntilLabel"));
    form->addRow(QStringLiteral("SHA-256 fingerprint:"),
                 FingerprintLabel(certificate.fingerprint, "fingerprintLabel"));
    if (changed)
        form->addRow(QStringLiteral("Trusted before:"),
                     FingerprintLabel(certificate.previousFingerprint, "previousFingerprintLabel"));
    form->addRow(QStringLiteral("Not trusted because:"),
                 ValueLabel(certificate.problem, "problemLabel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* trust = AddButton(QStringLiteral("Trust this certificate for this server"),
                                   "trustButton", kTrustAlways);
    QPushButton* once =
        AddButton(QStringLiteral("Connect this time only"), "onceButton", kTrustOnce);
    QPushButton* cancel = AddButton(QStringLiteral("Cancel"), "cancelButton", Rejected);
    for (QPushButton* button : {trust, once, cancel})
        buttons->addWidget(button);
    // A changed certificate is the one case where Enter must not connect.
    QPushButton* preferred = changed ? cancel : once;
    preferred->setDefault(true);
    preferred->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

QPushButton* CCertificateDialog::AddButton(const QString& text, const char* name, int result)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    return button;
}

TlsTrustAnswer CCertificateDialog::AnswerOf(int result)
{
    switch (result) {
    case kTrustAlways:
        return TlsTrustAnswer::TrustAlways;
    case kTrustOnce:
        return TlsTrustAnswer::TrustOnce;
    default:
        return TlsTrustAnswer::Refuse;
    }
}

TlsTrustAnswer AskAboutCertificate(QWidget* owner, const TlsCertificateInfo& certificate)
{
    CCertificateDialog dialog(certificate, owner);
    return CCertificateDialog::AnswerOf(RunModalDialog(dialog));
}
