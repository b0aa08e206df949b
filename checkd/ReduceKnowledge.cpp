// Writes the built-in knowledge's phrases reduced to their terms, for the
// build to store in the programs that judge (see CMakeLists.txt).
#include "Knowledge.h"
#include "OfflineJudge.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: checkd-reduce-knowledge FILE\n");
        return 2;
    }
    using namespace aimset::checkd;
    const QByteArray data = OfflineJudge::reduceKnowledge(Knowledge::builtIn());
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        std::fprintf(stderr, "checkd-reduce-knowledge: cannot write %s: %s\n", argv[1],
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
