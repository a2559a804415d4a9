#include "emulated_station.h"

#include "app/language.h"
#include "app/text_table.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    vellumet::emulated::prepareProcess(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vellumet::app::installTranslations(vellumet::app::UiLanguage::English);
    vellumet::app::loadTexts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
