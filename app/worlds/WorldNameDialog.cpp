// SPDX-License-Identifier: MIT
#include "WorldNameDialog.h"

#include "WarningColour.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace paddock {

WorldNameDialog::WorldNameDialog(const QString &title, const QString &question, const QString &name,
                                 Check check, QWidget *parent)
    : QDialog(parent)
    , m_check(std::move(check))
    , m_name(new QLineEdit(name, this))
    , m_problem(new QLabel(this))
{
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(question, this);
    label->setBuddy(m_name);
    layout->addWidget(label);
    layout->addWidget(m_name);
    m_name->selectAll();
    m_problem->setWordWrap(true);
    m_problem->hide();
    showAsWarning(m_problem, WarningLevel::Error);
    layout->addWidget(m_problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &WorldNameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &WorldNameDialog::reject);
    // A sentence about a name the user is changing no longer holds.
    connect(m_name, &QLineEdit::textEdited, m_problem, &QLabel::hide);
}

WorldNameDialog::~WorldNameDialog() = default;

QString WorldNameDialog::name() const
{
    return m_name->text().trimmed();
}

QString WorldNameDialog::problem() const
{
    return m_problem->isHidden() ? QString() : m_problem->text();
}

void WorldNameDialog::accept()
{
    if (const QString problem = m_check ? m_check(name()) : QString(); !problem.isEmpty()) {
        m_problem->setText(problem);
        m_problem->show();
        m_name->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace paddock
