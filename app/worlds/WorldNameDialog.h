// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;

namespace paddock {

/// Asks for a world's name. A name the check refuses is not taken: its sentence is shown and
/// the dialog stays open for another.
class WorldNameDialog final : public QDialog {
    Q_OBJECT
public:
    /// Why a name cannot be taken; empty when it can.
    using Check = std::function<QString(const QString &name)>;

    WorldNameDialog(const QString &title, const QString &question, const QString &name, Check check,
                    QWidget *parent = nullptr);
    ~WorldNameDialog() override;
    Q_DISABLE_COPY_MOVE(WorldNameDialog)

    QString name() const;
    /// The sentence shown about the last name refused; empty when none is.
    QString problem() const;

    /// Closes with the name, unless the check refuses it.
    void accept() override;

private:
    Check m_check;
    QLineEdit *m_name;
    QLabel *m_problem;
};

} // namespace paddock
