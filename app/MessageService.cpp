#include "app/MessageService.h"

#include <QMessageBox>

namespace dita {

void DialogMessageService::show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, m_owner);
    box.exec();
}

} // namespace dita
