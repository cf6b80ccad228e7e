#include "dialogs/select_matching.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace fm {

frmSelectMatching::frmSelectMatching(QWidget& owner, const QString& pattern) : QDialog(&owner) {
    setObjectName(QStringLiteral("frmSelectMatching"));
    setWindowTitle(QStringLiteral("Select Matching Rows"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QStringLiteral("Select the files whose names match (* and ? as "
                                             "wildcards, for example *.inf):"));
    prompt->setWordWrap(true);
    layout->addWidget(prompt);
    txtPattern = new QLineEdit(pattern);
    txtPattern->setObjectName(QStringLiteral("txtPattern"));
    txtPattern->setAccessibleName(QStringLiteral("Pattern"));
    txtPattern->selectAll();
    prompt->setBuddy(txtPattern);
    layout->addWidget(txtPattern);
    auto* buttons = new QDialogButtonBox;
    cmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    txtPattern->setFocus();
}

QString frmSelectMatching::pattern() const {
    return txtPattern->text();
}

} // namespace fm
