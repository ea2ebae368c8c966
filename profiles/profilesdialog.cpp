// Placeholder until the dialog lands.
#include "profiles/profilesdialog.h"

CProfilesDialog::CProfilesDialog(QWidget* parent) : QDialog(parent) {}
CProfilesDialog::~CProfilesDialog() = default;
