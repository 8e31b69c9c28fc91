#include "ui/diary/synctext.h"

QString syncStatusText(const conflict::Report &report) {
    int dateFiles = 0, entries = 0, items = 0, damaged = 0, failed = 0, aside = 0;
    bool home = false;
    for (const conflict::Step &s : report.steps) {
        switch (s.outcome) {
        case conflict::Outcome::Merged:
            ++dateFiles;
            entries += s.added;
            break;
        case conflict::Outcome::KeptAsItem:
            ++items;
            break;
        case conflict::Outcome::HomeReplaced:
            home = true;
            ++items;
            break;
        case conflict::Outcome::MovedAside:
            ++aside;
            break;
        case conflict::Outcome::Damaged:
            ++damaged;
            break;
        case conflict::Outcome::Failed:
            ++failed;
            break;
        }
    }
    if (report.steps.isEmpty()) return {};
    QStringList parts;
    if (dateFiles) parts << u"%1 天的日记并入 %2 篇"_qs.arg(dateFiles).arg(entries);
    if (items) parts << u"%1 份另一版本存入珍藏"_qs.arg(items);
    if (home) parts << u"首页换为较新的版本"_qs;
    if (aside) parts << u"%1 个相同或无需合并的副本已移开"_qs.arg(aside);
    if (damaged) parts << u"%1 个损坏的副本未合并，已移开"_qs.arg(damaged);
    if (failed) parts << u"%1 个副本合并失败，留在原处"_qs.arg(failed);
    return u" 同步冲突：%1。副本在 Backup\\conflicts。"_qs.arg(parts.join(u"，"_qs));
}
