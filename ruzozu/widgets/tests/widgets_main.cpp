// Runs the widget tests in one application.
#include <QApplication>

int RunArraysTest(int argc, char** argv);
int RunPicturesTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = RunArraysTest(argc, argv);
    failed += RunPicturesTest(argc, argv);
    return failed;
}
