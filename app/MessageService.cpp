#include "app/MessageService.h"

#include <QMessageBox>

namespace dita {

void DialogMessageService::show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, m_owner);
    box.exec();
}

bool DialogMessageService::ask(const std::string& question, const std::string& caption) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(caption),
                    QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No, m_owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace dita
