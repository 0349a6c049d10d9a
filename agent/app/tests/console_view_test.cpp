#include "agent/app/console_view.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mirelo {
namespace {

TEST(ConsoleView, EveryLineHasTheTimeOfDayInFront) {
    std::ostringstream out;
    ConsoleView view(out, [] { return QTime(9, 5, 3); });
    view.ShowUser(QStringLiteral("Mirelo - k@x.jp"), QStringLiteral("k@x.jp"));
    view.ShowStatus({-13, QStringLiteral("POP3サーバに接続できません。"), StatusColour::Red, true});
    view.ShowCounters(QStringLiteral("一覧取得(1件)"));
    EXPECT_EQ(out.str(),
              "09:05:03 Mirelo - k@x.jp\n"
              "09:05:03 k@x.jpからの要求を待ってます。\n"
              "09:05:03 POP3サーバに接続できません。\n"
              "09:05:03 一覧取得(1件)\n");
}

}  // namespace
}  // namespace mirelo
