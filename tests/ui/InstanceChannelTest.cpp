// The channel a later start in an emulator folder asks the holder through: only the one request,
// answered once the window is shown; anything else gets nothing.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTest>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>

#include "TempDir.h"
#include "ui/InstanceChannel.h"

class InstanceChannelTest : public QObject {
  Q_OBJECT

 private slots:
  void RaiseIsAnsweredAndNothingElseIs() {
    TempDir dir;
    const std::string lock = (dir.Path() / "emu-1-2.lock").string();
    TInstanceChannel channel;
    int raised = 0;
    QVERIFY(channel.Listen(lock, [&raised] { ++raised; }));
    // A second holder in the same place replaces what a dead one left.
    QVERIFY(channel.Listen(lock, [&raised] { ++raised; }));
    auto asked =
        std::async(std::launch::async, [&lock] { return TInstanceChannel::AskToRaise(lock); });
    QTRY_COMPARE(raised, 1);
    QVERIFY(QTest::qWaitFor([&asked] {
      return asked.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }));
    QVERIFY(asked.get());
    // A stranger's words are not a request: no window is shown and nothing is answered.
    auto stranger = std::async(std::launch::async, [&dir] {
      const std::string path = (dir.Path() / "emu-1-2.sock").string();
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::memcpy(address.sun_path, path.data(), path.size());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
      char answer[8];
      const bool heard =
          ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
          ::send(fd, "raise me\n", 9, MSG_NOSIGNAL) == 9 && ::recv(fd, answer, sizeof answer, 0) > 0;
      ::close(fd);
      return heard;
    });
    QVERIFY(QTest::qWaitFor([&stranger] {
      return stranger.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }));
    QVERIFY(!stranger.get());
    QCOMPARE(raised, 1);
    channel.Close();  // a closed window is not brought back: nothing is left to connect to
    QVERIFY(!std::filesystem::exists(dir.Path() / "emu-1-2.sock"));
    QCOMPARE(raised, 1);
    QVERIFY(!channel.Listen(std::string(200, 'x') + ".lock", [] {}));  // no address that long
  }
};

QTEST_GUILESS_MAIN(InstanceChannelTest)
#include "InstanceChannelTest.moc"
