// Writes the manual page ondrel.1 (the build runs it; the package installs the page).
//   ondrel_manpage <date> <README.md> <output file>
// The page's keys, server fields and environment are the README's tables.
#include "app/commandline.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: ondrel_manpage <date> <README.md> <output file>\n");
        return 2;
    }
    QFile readme(QFile::decodeName(argv[2]));
    if (!readme.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "ondrel_manpage: cannot read %s\n", argv[2]);
        return 1;
    }
    const QString page = manualPage(QString::fromUtf8(argv[1]), QString::fromUtf8(readme.readAll()));
    if (page.isEmpty()) {
        std::fprintf(stderr, "ondrel_manpage: %s lacks one of the tables of the manual page "
                             "(keys, server fields, environment)\n", argv[2]);
        return 1;
    }
    QFile out(QFile::decodeName(argv[3]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "ondrel_manpage: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
