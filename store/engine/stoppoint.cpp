#include "store/engine/stoppoint.h"

#include <QByteArray>
#include <QHash>

#include <unistd.h>

namespace StopPoint {

void step(const char *work)
{
    static const QByteArray wanted = qgetenv("TALLYMERE_TEST_STOP_AT");
    if (wanted.isEmpty())
        return;
    static QHash<QByteArray, int> reached;
    const QByteArray name(work);
    const int n = ++reached[name];
    if (wanted == name + ':' + QByteArray::number(n))
        ::_exit(ExitCode);
}

} // namespace StopPoint
