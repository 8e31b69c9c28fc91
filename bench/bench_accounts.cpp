// The login check against an account store of 100,000 accounts beside one of 10: a request must
// cost the same whatever the store holds, so the ratio of the two rates is the figure. Each
// request is either a known id with its password or an id with no account, in turn.
#include "store/net/accounts.h"
#include "store/net/protocol.h"
#include "store/net/userinfo.h"
#include "store/common/programfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

struct Store {
    QTemporaryDir dir;
    ProgramFolder folder{dir.path()};
    int accounts = 0;

    explicit Store(int count) : accounts(count) {
        QDir(dir.path()).mkdir(QStringLiteral("UserInfo"));
        UserInfo account(folder);
        // Written plainly: forcing 100,000 files to disk would take the run's time, not the
        // store's.
        for (int id = 1; id <= count; ++id) {
            qint64 k = id;
            folder.randomSource = [k] { return double(k) / double(UserInfo::kIdBound); };
            account.setID();
            account.setPassword(QStringLiteral("pw%1").arg(id));
            QFile f(account.filePath(account.getID()));
            f.open(QIODevice::WriteOnly);
            f.write(account.toBytes());
        }
    }
};

Store &store(int count) {
    static std::map<int, std::unique_ptr<Store>> stores;
    auto &s = stores[count];
    if (!s) s = std::make_unique<Store>(count);
    return *s;
}

void BM_Login(benchmark::State &state) {
    Store &s = store(int(state.range(0)));
    const QString known = protocol::buildLoginRequest(QStringLiteral("7"), QStringLiteral("pw7"));
    // Ids above every account's: no file, the case that once listed the whole folder.
    const QString unknown = protocol::buildLoginRequest(QStringLiteral("98765432"), QStringLiteral("x"));
    bool turn = false;
    for (auto _ : state) {
        turn = !turn;
        const QString reply = net::checkLogin(s.folder, turn ? known : unknown);
        if (reply != (turn ? protocol::loginAccepted() : protocol::loginRefused())) {
            state.SkipWithError("a login check gave the wrong answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_Login)->Arg(10)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
