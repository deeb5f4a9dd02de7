#pragma once

#include "text/messages.h"

// Every message of the program's own, English and Simplified Chinese side
// by side. Not here: the texts that stay as they always were (the memo
// file's "Cannot create file" and "Stream write error", the window's
// caption, the statements), and whatever servers and drivers say, which
// reaches the reader in their own words. Column names, figure numbers, the
// car park number, dates, SQLSTATEs and exit codes read the same in both.
namespace parktotals::msg {

// ---------------------------------------------------------------------------
// Connection strings, RegInfo.INI and the databases (src/db)
// ---------------------------------------------------------------------------

// (end of the databases' messages)

// ---------------------------------------------------------------------------
// The run report and the notices of a run without a window (src/totals)
// ---------------------------------------------------------------------------

// Where a connection string points.
inline constexpr Message kServerAndDatabase{"server {0}, database {1}", "服务器 {0}，数据库 {1}"};
inline constexpr Message kNotGiven{"(not given)", "（未指定）"};

// The report's lines, in the order they come.
inline constexpr Message kRunHeader{"Run of {0}, parktotals {1}", "运行于 {0}，parktotals {1}"};
inline constexpr Message kParkFromFile{"Car park number: {0} (from {1})", "停车场编号：{0}（来自 {1}）"};
inline constexpr Message kParkDefault{"Car park number: {0} (default: {1})", "停车场编号：{0}（默认值：{1}）"};
inline constexpr Message kParkFileNotFound{"{0} not found", "找不到 {0}"};
inline constexpr Message kParkKeyMissing{"no jov_park_id in the [code] section of {0}",
                                         "{0} 的 [code] 节中没有 jov_park_id"};
inline constexpr Message kDateKey{"Date key: {0}", "日期代码：{0}"};
inline constexpr Message kNightResent{"{0} (a past day asked for with --date: figures 3 to 5)",
                                      "{0}（用 --date 指定的过去日期：数据 3 至 5）"};
inline constexpr Message kNightCaughtUp{"{0} (missed by this installation, caught up: figures 3 to 5)",
                                        "{0}（本安装漏发的一晚，现已补发：数据 3 至 5）"};
inline constexpr Message kLocalDatabase{"Local database: {0}", "本地数据库：{0}"};
inline constexpr Message kLocalRegInfoMissing{"none: RegInfo.INI is missing or cannot be read: {0}",
                                              "无：RegInfo.INI 不存在或无法读取：{0}"};
inline constexpr Message kLocalFirstLineEmpty{"none: the first line of RegInfo.INI is empty",
                                              "无：RegInfo.INI 的第一行为空"};
inline constexpr Message kLocalNotUnderstood{"none: the connection string in RegInfo.INI is not understood: {0}",
                                             "无：无法识别 RegInfo.INI 中的连接字符串：{0}"};
inline constexpr Message kLocalLoginRefused{"{0}: login refused: {1}", "{0}：登录被拒绝：{1}"};
inline constexpr Message kLocalUnreachable{"{0}: server unreachable: {1}", "{0}：无法连接到服务器：{1}"};
inline constexpr Message kLocalCannotConnect{"{0}: cannot connect: {1}", "{0}：无法连接：{1}"};
inline constexpr Message kCentralDatabase{"Central database: {0}", "中心数据库：{0}"};
inline constexpr Message kNoFigureTried{"Figures: none tried, the central database was not reached",
                                        "数据：一项也未尝试，未能连接到中心数据库"};

// One figure: "Figure 3 (weixin_money_lishi): sent 12.5, 1 row changed".
inline constexpr Message kFigureName{"Figure {0} ({1})", "数据 {0}（{1}）"};
inline constexpr Message kFigureLine{"{0}: {1}", "{0}：{1}"};
inline constexpr Message kSentValue{"sent {0}, {1}", "已发送 {0}，{1}"};
inline constexpr Message kOneRowChanged{"1 row changed", "更改了 1 行"};
inline constexpr Message kRowsChanged{"{0} rows changed", "更改了 {0} 行"};
inline constexpr Message kRowsChangedMoreThanOne{"{0} rows changed (more than one row matched)",
                                                 "更改了 {0} 行（匹配到不止一行）"};
inline constexpr Message kOnTry{" (on try {0})", "（第 {0} 次尝试）"};
inline constexpr Message kNotTried{"not tried: the run ended before it", "未尝试：运行在此之前已结束"};
inline constexpr Message kNotAskedForPastDay{
    "not sent: it counts the cards as they are now, which cannot be computed for a past day",
    "未发送：此项统计的是卡的当前状态，无法为过去的某一天计算"};
inline constexpr Message kMatchedNoRow{"matched no row", "没有匹配到任何行"};
inline constexpr Message kUncounted{"accepted, but the server sent no row count: whether it changed a row is not known",
                                    "已被接受，但服务器没有返回行数：无法确定是否更改了行"};
inline constexpr Message kNotSent{"not sent: {0}", "未发送：{0}"};
inline constexpr Message kRefused{"refused by the central server: {0}", "被中心服务器拒绝：{0}"};
inline constexpr Message kTimedOut{"no answer within the time-out, may not have arrived: {0}",
                                   "超时内没有应答，可能未送达：{0}"};
inline constexpr Message kLinkLost{"lost with the central connection, may not have arrived: {0}",
                                   "与中心服务器的连接中断，可能未送达：{0}"};

// A failure's reason: "message (SQLSTATE 08S01, error 20009)".
inline constexpr Message kNoReasonGiven{"no reason given", "未给出原因"};
inline constexpr Message kErrorNumber{"error {0}", "错误 {0}"};
inline constexpr Message kTwoCodes{"{0}, {1}", "{0}，{1}"};
inline constexpr Message kReasonWithCodes{"{0} ({1})", "{0}（{1}）"};
inline constexpr Message kUnknownError{"Unknown error", "未知错误"};

// Catching up missed nights.
inline constexpr Message kCatchUp{"Catch-up: {0}", "补发：{0}"};
inline constexpr Message kCatchUpNotPossible{"not possible: {0}", "无法进行：{0}"};
inline constexpr Message kCatchUpNothingRecorded{
    "nothing to compare with yet: no night of the nightly run is recorded, so none counts as missed",
    "尚无可比对的记录：还没有记录任何一晚的每晚运行，因此不算作漏发"};
inline constexpr Message kCatchUpNoneMissed{"none of the {0} nights before yesterday was missed (the record starts at {1})",
                                            "昨天之前的 {0} 晚都没有漏发（记录始于 {1}）"};
inline constexpr Message kCatchUpMissed{"{0} of the {1} nights before yesterday missed: {2} (the record starts at {3})",
                                        "昨天之前的 {1} 晚中漏发了 {0} 晚：{2}（记录始于 {3}）"};

// Retries.
inline constexpr Message kRetryCentralUnreached{"Retry {0} of {1} in {2} s: the central database was not reached: {3}",
                                                "{2} 秒后第 {0} 次重试（共 {1} 次）：未能连接到中心数据库：{3}"};
inline constexpr Message kRetryFigure{"Retry {0} of {1} in {2} s: {3} of {4}: {5}",
                                      "{2} 秒后第 {0} 次重试（共 {1} 次）：{4} 的{3}：{5}"};
inline constexpr Message kRetryInterrupted{"Retry {0} of {1} not made: the window was closed during the wait, ending the run",
                                           "第 {0} 次重试（共 {1} 次）未进行：等待期间窗口被关闭，运行就此结束"};
inline constexpr Message kRetryStillUnreached{"Retry {0} of {1}: the central database was still not reached: {2}",
                                              "第 {0} 次重试（共 {1} 次）：仍未能连接到中心数据库：{2}"};

// The end of the block.
inline constexpr Message kNightsRecordLine{"Record of transferred nights: {0}", "已传送夜间记录：{0}"};
inline constexpr Message kEndLine{"End: exit code {0}, {1}; {2} of {3} transferred; took {4}",
                                  "结束：退出代码 {0}，{1}；已传送 {2}/{3} 项；用时 {4}"};
inline constexpr Message kExitAllFive{"all five figures were transferred", "五项数据全部已传送"};
inline constexpr Message kExitAllAsked{"all {0} figures asked for were transferred", "要求的 {0} 项数据全部已传送"};
inline constexpr Message kExitStopped{"the run stopped with an error", "运行因错误而停止"};
inline constexpr Message kExitIncomplete{"at least one figure was not transferred", "至少有一项数据未传送"};
inline constexpr Message kSeconds{"{0} s", "{0} 秒"};
inline constexpr Message kErrorBoxLine{"Error box: {0}", "错误提示框：{0}"};

// What a run without a window prints on stderr.
inline constexpr Message kNoticeNoCatchUp{"no night caught up: {0}", "没有补发任何一晚：{0}"};
inline constexpr Message kNoticeCentralNotReached{"no figure was transferred: the central database was not reached",
                                                  "没有传送任何数据：未能连接到中心数据库"};
inline constexpr Message kNoticeDefaultPark{
    "car park number {0} is only the default: {1}; the figures went to car park {0}'s row at head office",
    "停车场编号 {0} 只是默认值：{1}；数据已写入总部停车场 {0} 的行"};
inline constexpr Message kNoticeFigure{"figure {0} ({1}) not transferred: {2}", "数据 {0}（{1}）未传送：{2}"};
inline constexpr Message kNoticeNightFigure{"figure {0} ({1}) of {2} not transferred: {3}",
                                            "{2} 的数据 {0}（{1}）未传送：{3}"};

// transferred-nights.txt.
inline constexpr Message kNightsFileComment{
    "# The nights whose figures 3 to 5 parktotals transferred to head office, by date key.",
    "# parktotals 已传送到总部的数据 3 至 5 所属的夜间，按日期代码列出。"};
inline constexpr Message kNightsFileFirstComment{
    "# \"first\" is the first night the nightly run sent: --catch-up never re-sends it or a night before it.",
    "# \"first\" 是每晚运行发送的第一晚：--catch-up 不会补发这一晚及其之前的任何一晚。"};
inline constexpr Message kNightsLineNotUnderstood{
    "line {0} (\"{1}\") is neither a date key (yyyymmdd) nor \"first yyyymmdd\"",
    "第 {0} 行（\"{1}\"）既不是日期代码（yyyymmdd），也不是 \"first yyyymmdd\""};
inline constexpr Message kFileCannotBeRead{"{0} cannot be read: {1}", "无法读取 {0}：{1}"};
inline constexpr Message kFileNotUnderstood{"{0} is not understood: {1}", "无法识别 {0}：{1}"};
inline constexpr Message kFileNotWritten{"{0} could not be written: {1}", "无法写入 {0}：{1}"};
inline constexpr Message kFileNotUpdated{"{0} could not be updated: {1}", "无法更新 {0}：{1}"};

// Why the run report or the record cannot be written (the system's own
// reason follows some of them).
inline constexpr Message kNotPlainLink{"it is a symbolic link, not a plain file", "它是符号链接，不是普通文件"};
inline constexpr Message kNotPlainReparsePoint{"it is a link (a reparse point), not a plain file",
                                               "它是链接（重分析点），不是普通文件"};
inline constexpr Message kNotPlainFifo{"it is a named pipe (FIFO), not a plain file", "它是命名管道（FIFO），不是普通文件"};
inline constexpr Message kNotPlainDevice{"it is a device, not a plain file", "它是设备，不是普通文件"};
inline constexpr Message kNotPlainFolder{"it is a folder, not a plain file", "它是文件夹，不是普通文件"};
inline constexpr Message kNotPlainFile{"it is not a plain file", "它不是普通文件"};
inline constexpr Message kFolderCannotBeOpened{"its folder cannot be opened: {0}", "无法打开其所在文件夹：{0}"};
inline constexpr Message kCannotBeLocked{"it cannot be locked: {0}", "无法锁定：{0}"};
inline constexpr Message kLockedByAnotherRun{"another run kept it locked for {0} s", "另一次运行将其锁定了 {0} 秒"};

// (end of the run report's messages)

// ---------------------------------------------------------------------------
// The command line, the installer's options and the shells (src/app)
// ---------------------------------------------------------------------------

// The run report could not be written: in the error box of a windowed run,
// on stderr otherwise.
inline constexpr Message kReportNotWritten{"The run report {0} could not be written: {1}", "无法写入运行报告 {0}：{1}"};
inline constexpr Message kNoticeReportNotWritten{"the run report {0} could not be written: {1}",
                                                 "无法写入运行报告 {0}：{1}"};

// (end of the program's messages)

} // namespace parktotals::msg
