#include "realx/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QList>

namespace orvreal {

qint64 ChildWith(qint64 parent, const QByteArray& argument)
{
    QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(proc.filePath(entry + QStringLiteral("/stat")));
        QFile cmdline(proc.filePath(entry + QStringLiteral("/cmdline")));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...: the fields after the last ')'.
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent && cmdline.readAll().contains(argument))
            return pid;
    }
    return 0;
}

} // namespace orvreal
