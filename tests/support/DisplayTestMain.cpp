// main() of the suites that run on a real X server (run-on-xvfb): a
// QApplication on the platform the environment names, nothing forced.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
