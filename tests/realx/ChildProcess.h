// The processes a running program has started, as /proc shows them.
#pragma once

#include <QByteArray>

namespace orvreal {

// A child of parent whose command line holds argument (such as "--read-catalogue"), or 0.
qint64 ChildWith(qint64 parent, const QByteArray& argument);

} // namespace orvreal
