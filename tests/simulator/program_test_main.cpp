// The program's tests start pcpos-sim and pcpos-cli with QProcess, which wants
// a QCoreApplication in the process.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
