// A process that loads Qt Core and does nothing else: the floor under the start of any of
// the program's processes (the dynamic loader's work on Qt Core and the libraries it needs).

#include <QString>

int main(int argc, char **argv) {
    return QString::fromLocal8Bit(argv[argc - 1]).isNull() ? 1 : 0;
}
