// The picture targets run Qt's image code: the application object is made
// once, on the offscreen platform.
#pragma once

#include <QGuiApplication>

#include <cstdlib>

inline void StartQt(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
}
