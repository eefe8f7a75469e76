// Writes the manual page ondrel.1 (the build runs it; the package installs the page).
//   ondrel_manpage <date> <output file>
#include "app/commandline.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: ondrel_manpage <date> <output file>\n");
        return 2;
    }
    QFile out(QFile::decodeName(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || out.write(manualPage(QString::fromUtf8(argv[1])).toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "ondrel_manpage: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
