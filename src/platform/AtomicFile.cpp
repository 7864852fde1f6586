#include "platform/AtomicFile.h"

#include <QSaveFile>

namespace nimbra {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error)
{
    QSaveFile file(QString::fromStdString(path));
    bool written = file.open(QIODevice::WriteOnly);
    if (written && file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size())) {
        file.cancelWriting();
        written = false;
    }
    if (written && file.commit())
        return true;
    if (error)
        *error = file.errorString().toStdString();
    return false;
}

} // namespace nimbra
