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

// What stands for a value of a connection string in the messages below: its
// key when the program knows it, never the value nor an unknown "key" (with
// an unquoted password holding ';' or '=', either may be a piece of it).
inline constexpr Message kConnectionValueOfKey{"the value of \"{0}\"", "\"{0}\" 的值"};
inline constexpr Message kConnectionSomeValue{"a value", "某个值"};
inline constexpr Message kConnectionStartsWithoutEquals{"The connection string starts with a part that has no \"=\"",
                                                        "连接字符串的开头有一段不含 \"=\" 的内容"};
// {0}: kConnectionValueOfKey or kConnectionSomeValue.
inline constexpr Message kConnectionPartWithoutEquals{
    "In the connection string, {0} is followed by a part that has no \"=\"",
    "连接字符串中，{0}后面有一段不含 \"=\" 的内容"};
inline constexpr Message kConnectionValueWithoutName{"The connection string has a value without a name",
                                                     "连接字符串中有一个没有名称的值"};
inline constexpr Message kConnectionQuoteNotClosed{"In the connection string, the quote around {0} is not closed",
                                                   "连接字符串中，{0}缺少结束引号"};
inline constexpr Message kConnectionTextAfterQuote{
    "In the connection string, {0} has more text after its closing quote",
    "连接字符串中，{0}在结束引号之后还有多余的内容"};

// The installer's database page: {0} is one of the four fields below.
inline constexpr Message kLoginFieldHasLineBreak{"The {0} holds a line break, which the connection string cannot",
                                                 "{0}中含有换行符，而连接字符串不能包含换行符"};
inline constexpr Message kLoginFieldServer{"server", "服务器名称"};
inline constexpr Message kLoginFieldDatabase{"database", "数据库名称"};
inline constexpr Message kLoginFieldUser{"user", "登录名"};
inline constexpr Message kLoginFieldPassword{"password", "密码"};
// {0} is the key of the installer's fields file.
inline constexpr Message kFieldTooLong{"The value of \"{0}\" in the fields file is too long: at most {1} characters",
                                       "字段文件中 \"{0}\" 的值太长：最多 {1} 个字符"};

inline constexpr Message kConnectionStringEmpty{"The connection string is empty", "连接字符串为空"};
inline constexpr Message kProviderNotUsable{
    "The connection string names a provider this program cannot use (it takes SQLOLEDB, SQLNCLI, MSOLEDBSQL or "
    "MSDASQL)",
    "连接字符串指定了本程序无法使用的提供程序（本程序支持 SQLOLEDB、SQLNCLI、MSOLEDBSQL 或 MSDASQL）"};
// In these {0} is the key as the string writes it.
inline constexpr Message kEncryptionModeValue{
    "\"{0}\" in the connection string must be yes, no, true, false, Optional, Mandatory or Strict",
    "连接字符串中的 \"{0}\" 只能是 yes、no、true、false、Optional、Mandatory 或 Strict"};
inline constexpr Message kTrueOrFalseValue{"\"{0}\" in the connection string must be True or False",
                                           "连接字符串中的 \"{0}\" 只能是 True 或 False"};
inline constexpr Message kTimeoutNotWholeSeconds{
    "\"{0}\" in the connection string must be a whole number of seconds",
    "连接字符串中的 \"{0}\" 必须是以秒为单位的整数"};
// Run report notes, not errors: the login time-out the string asked for was
// capped at {1} seconds.
inline constexpr Message kTimeoutNoLimitCapped{
    "\"{0}\" in the connection string asks for no limit: the login waits {1} seconds at most",
    "连接字符串中的 \"{0}\" 要求无限等待：登录最多只等待 {1} 秒"};
inline constexpr Message kTimeoutTooLongCapped{
    "\"{0}\" in the connection string asks for more than {1} seconds: the login waits {1} seconds at most",
    "连接字符串中的 \"{0}\" 要求等待超过 {1} 秒：登录最多只等待 {1} 秒"};
inline constexpr Message kNoCertificateCheckThroughFreeTds{
    "This build cannot check the server certificate through FreeTDS; add \"Trust Server Certificate=True\" to "
    "encrypt without checking it",
    "此版本无法通过 FreeTDS 检查服务器证书；如要加密而不检查证书，请在连接字符串中加上 "
    "\"Trust Server Certificate=True\""};
inline constexpr Message kEncryptedServerNameCharacters{
    "With encryption asked for, the server name may hold only letters, digits and . - _ : $ (and a port after a "
    "comma, or an instance after a backslash)",
    "要求加密时，服务器名称只能包含字母、数字和 . - _ : $（以及逗号后的端口，或反斜杠后的实例名）"};
// {0}: the driver's name; {1}: kDriverLibrary or kDriverNotRegistered.
inline constexpr Message kEncryptionDriverUnknown{
    "Encryption is asked for, but the ODBC driver \"{0}\" ({1}) is not one whose encryption keywords this program "
    "knows (it knows FreeTDS and Microsoft's SQL Server drivers)",
    "连接字符串要求加密，但本程序不知道 ODBC 驱动程序 \"{0}\"（{1}）的加密关键字（本程序只能识别 FreeTDS 和 "
    "Microsoft 的 SQL Server 驱动程序）"};
inline constexpr Message kDriverLibrary{"library {0}", "库文件 {0}"};
inline constexpr Message kDriverNotRegistered{"not registered", "未注册"};
// {0}: one of the kOdbcValue... names below; {1}: "};", which a driver
// without doubled closing braces cannot take inside braces.
inline constexpr Message kOdbcValueCannotHold{"The ODBC driver cannot take a {0} that contains \"{1}\"",
                                              "ODBC 驱动程序无法接受含有 \"{1}\" 的{0}"};
inline constexpr Message kOdbcValueDataSourceName{"data source name", "数据源名称"};
inline constexpr Message kOdbcValueDriverName{"driver name", "驱动程序名称"};
inline constexpr Message kOdbcValueServer{"server", "服务器名称"};
inline constexpr Message kOdbcValueDatabaseName{"database name", "数据库名称"};
inline constexpr Message kOdbcValueUserName{"user name", "用户名"};
inline constexpr Message kOdbcValuePassword{"password", "密码"};
inline constexpr Message kOdbcValueApplicationName{"application name", "应用程序名称"};
inline constexpr Message kOdbcValueWorkstationName{"workstation name", "工作站名称"};
inline constexpr Message kIntegratedSecurityUnsupported{
    "Integrated (Windows) security is not supported on this platform; the connection string needs a User ID and "
    "Password",
    "此平台不支持集成（Windows）身份验证；连接字符串需要提供 User ID 和 Password"};
inline constexpr Message kMsdasqlNeedsDsnOrDriver{"The connection string for provider MSDASQL needs a DSN or a Driver",
                                                  "提供程序为 MSDASQL 时，连接字符串需要 DSN 或 Driver"};
inline constexpr Message kNoEncryptionWithDsn{
    "Encryption cannot be asked for in a connection string that names an ODBC data source (DSN); ask for it in the "
    "data source itself",
    "指定了 ODBC 数据源（DSN）的连接字符串不能要求加密；请在该数据源自身的设置中启用加密"};

// RegInfo.INI, or any file read the same way: {0} is its path.
inline constexpr Message kCannotOpenFile{"Cannot open file \"{0}\"", "无法打开文件 \"{0}\""};
inline constexpr Message kCannotReadFile{"Cannot read file \"{0}\"", "无法读取文件 \"{0}\""};
inline constexpr Message kRegInfoFirstLineEmpty{"The first line of RegInfo.INI is empty", "RegInfo.INI 的第一行为空"};

// A figure's value as the local server gave it ({0}), which cannot be sent.
inline constexpr Message kNotADecimal{"\"{0}\" is not a valid decimal value", "\"{0}\" 不是有效的数字"};
inline constexpr Message kValueIsNaN{"The value is not a number (NaN) and cannot be sent",
                                     "该值不是数字（NaN），无法发送"};
inline constexpr Message kValueIsInfinity{"The value is infinity and cannot be sent", "该值为无穷大，无法发送"};
inline constexpr Message kValueIsMinusInfinity{"The value is minus infinity and cannot be sent",
                                               "该值为负无穷大，无法发送"};

// {0}: the driver's own words (or kBrowserNoAnswer); {1}: "host\instance";
// {2}: the host.
inline constexpr Message kNamedInstanceUnanswered{
    "{0} (the port of the instance {1} comes from the SQL Server Browser service on {2}, UDP port 1434: check that "
    "the service and the instance are running, or give the instance's port as {2},PORT)",
    "{0}（实例 {1} 的端口由 {2} 上的 SQL Server Browser 服务通过 UDP 端口 1434 告知：请确认该服务和该实例正在运行，"
    "或以 {2},PORT 的形式写明实例的端口）"};
inline constexpr Message kBrowserNoAnswer{"No answer from the SQL Server Browser within {0} s",
                                          "SQL Server Browser 在 {0} 秒内没有应答"};
inline constexpr Message kConnectionStringWhileOpen{"The connection string cannot change while the connection is open",
                                                    "连接打开期间不能更改连接字符串"};
// {0}: the server's refusal, in its own words.
inline constexpr Message kLoginNotTriedAgain{"Not tried again after the server refused the login: {0}",
                                             "服务器已拒绝登录，不再重试：{0}"};
// {0}: the statement (SQL); {1}: the server's error.
inline constexpr Message kSessionSetUpFailed{"The connection was opened, but its set-up statement {0} failed: {1}",
                                             "连接已打开，但其初始设置语句 {0} 执行失败：{1}"};
inline constexpr Message kQueryGaveNoColumns{"The query gave no columns", "查询没有返回任何列"};
inline constexpr Message kQueryGaveNoRows{"The query gave no rows", "查询没有返回任何行"};
inline constexpr Message kLinkLostMidAnswer{"The connection was lost before the answer was complete",
                                            "在收到完整的应答之前连接已断开"};
// A failure that came without any description.
inline constexpr Message kUnknownError{"Unknown error", "未知错误"};

// {0}: the driver's own words.
inline constexpr Message kEncryptionRefused{
    "The connection with encryption failed: the server may not offer encryption, or its certificate is not trusted "
    "({0})",
    "加密连接失败：服务器可能不支持加密，或其证书不受信任（{0}）"};
// {0}: the ODBC call (SQLDriverConnect ...).
inline constexpr Message kCallFailedNoReason{"{0} failed and the driver gave no reason",
                                             "{0} 调用失败，驱动程序没有给出原因"};
inline constexpr Message kCallFailedWithState{"{0} failed (SQLSTATE {1})", "{0} 调用失败（SQLSTATE {1}）"};
inline constexpr Message kConnectionStringHasNul{
    "The connection string cannot be sent to the database: it contains a NUL character",
    "连接字符串含有 NUL 字符，无法发送到数据库"};
inline constexpr Message kStatementHasNul{"The statement cannot be sent to the database: it contains a NUL character",
                                          "语句含有 NUL 字符，无法发送到数据库"};

// The freetds.conf section FreeTDS checks a certificate with. {0}: why, in
// the system's own words or as one of the two messages after it.
inline constexpr Message kFreeTdsConfCannotMake{"The settings for checking the server certificate cannot be made: {0}",
                                                "无法生成检查服务器证书所需的设置：{0}"};
inline constexpr Message kFreeTdsConfVariableNotSet{"FREETDSCONF cannot be set ({0})",
                                                    "无法设置环境变量 FREETDSCONF（{0}）"};
// {0}: the file's path; {1}: why.
inline constexpr Message kFreeTdsConfUnreadable{"{0} cannot be read ({1}); no connection is made without them",
                                                "无法读取 {0}（{1}）；缺少这些设置时不会建立连接"};
inline constexpr Message kFreeTdsConfReadsBackOtherwise{"it reads back otherwise", "读回的内容与写入的不一致"};
inline constexpr Message kNoFreeTdsConfInThisBuild{"This build cannot check the server certificate through FreeTDS",
                                                   "此版本无法通过 FreeTDS 检查服务器证书"};

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
                                      "{0}（用 --date 重发的过去日期：第 3 至 5 项数据）"};
inline constexpr Message kNightCaughtUp{"{0} (missed by this installation, caught up: figures 3 to 5)",
                                        "{0}（本机漏发的日期，补发第 3 至 5 项数据）"};
inline constexpr Message kLocalDatabase{"Local database: {0}", "本地数据库：{0}"};
inline constexpr Message kLocalRegInfoMissing{"none: RegInfo.INI is missing or cannot be read: {0}",
                                              "无：RegInfo.INI 不存在或无法读取：{0}"};
inline constexpr Message kLocalFirstLineEmpty{"none: the first line of RegInfo.INI is empty",
                                              "无：RegInfo.INI 的第一行为空"};
inline constexpr Message kLocalNotUnderstood{"none: the connection string in RegInfo.INI is not understood: {0}",
                                             "无：无法识别 RegInfo.INI 中的连接字符串：{0}"};
inline constexpr Message kLocalLoginRefused{"{0}: login refused: {1}", "{0}：登录被拒绝：{1}"};
inline constexpr Message kLocalUnreachable{"{0}: server unreachable: {1}", "{0}：服务器没有应答：{1}"};
inline constexpr Message kLocalCannotConnect{"{0}: cannot connect: {1}", "{0}：服务器已应答，但无法建立连接：{1}"};
inline constexpr Message kCentralDatabase{"Central database: {0}", "总部数据库：{0}"};
inline constexpr Message kNoFigureTried{"Figures: none tried, the central database was not reached",
                                        "各项数据：一项也未尝试，未能连接到总部数据库"};

// One figure: "Figure 3 (weixin_money_lishi): sent 12.5, 1 row changed".
inline constexpr Message kFigureName{"Figure {0} ({1})", "第 {0} 项数据（{1}）"};
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
inline constexpr Message kRefused{"refused by the central server: {0}", "被总部服务器拒绝：{0}"};
inline constexpr Message kTimedOut{"no answer within the time-out, may not have arrived: {0}",
                                   "超时未得到应答，可能未送达：{0}"};
inline constexpr Message kLinkLost{"lost with the central connection, may not have arrived: {0}",
                                   "与总部服务器的连接中断，可能未送达：{0}"};

// A failure's reason: "message (SQLSTATE 08S01, error 20009)".
inline constexpr Message kNoReasonGiven{"no reason given", "未给出原因"};
inline constexpr Message kErrorNumber{"error {0}", "错误 {0}"};
inline constexpr Message kTwoCodes{"{0}, {1}", "{0}，{1}"};
inline constexpr Message kReasonWithCodes{"{0} ({1})", "{0}（{1}）"};

// Catching up missed nights.
inline constexpr Message kCatchUp{"Catch-up: {0}", "补发：{0}"};
inline constexpr Message kCatchUpNotPossible{"not possible: {0}", "无法进行：{0}"};
inline constexpr Message kCatchUpNothingRecorded{
    "nothing to compare with yet: no night of the nightly run is recorded, so none counts as missed",
    "尚无可比对的记录：传送日期记录中还没有定时运行的日期，因此没有日期算作漏发"};
inline constexpr Message kCatchUpNoneMissed{"none of the {0} nights before yesterday was missed (the record starts at {1})",
                                            "昨天之前的 {0} 天都没有漏发（记录始于 {1}）"};
inline constexpr Message kCatchUpMissed{"{0} of the {1} nights before yesterday missed: {2} (the record starts at {3})",
                                        "昨天之前的 {1} 天中漏发了 {0} 天：{2}（记录始于 {3}）"};

// Retries.
inline constexpr Message kRetryCentralUnreached{"Retry {0} of {1} in {2} s: the central database was not reached: {3}",
                                                "{2} 秒后第 {0} 次重试（共 {1} 次）：未能连接到总部数据库：{3}"};
inline constexpr Message kRetryFigure{"Retry {0} of {1} in {2} s: {3} of {4}: {5}",
                                      "{2} 秒后第 {0} 次重试（共 {1} 次）：{4} 的{3}：{5}"};
inline constexpr Message kRetryInterrupted{"Retry {0} of {1} not made: the run was stopped during the wait",
                                           "第 {0} 次重试（共 {1} 次）未进行：等待期间运行被停止"};
inline constexpr Message kRetryStillUnreached{"Retry {0} of {1}: the central database was still not reached: {2}",
                                              "第 {0} 次重试（共 {1} 次）：仍未能连接到总部数据库：{2}"};

// A run stopped from outside: {0} is one of the causes below.
inline constexpr Message kStoppedLine{"Stopped before its end: {0}; the figures not tried were not sent",
                                      "运行在结束前被停止：{0}；未尝试的数据没有发送"};
inline constexpr Message kStoppedWindowClosed{"the window was closed", "窗口被关闭"};
inline constexpr Message kStoppedSigterm{"SIGTERM (the service was stopped, or the machine is shutting down)",
                                         "SIGTERM（服务被停止，或计算机正在关机）"};
inline constexpr Message kStoppedSigint{"SIGINT (Ctrl+C)", "SIGINT（Ctrl+C）"};
inline constexpr Message kStoppedSighup{"SIGHUP (its terminal was closed)", "SIGHUP（终端被关闭）"};
inline constexpr Message kStoppedSignal{"signal {0}", "信号 {0}"};
inline constexpr Message kStoppedSessionEnding{"Windows is shutting down, or the user is logging off",
                                               "Windows 正在关机，或用户正在注销"};
// Windows shows it while a stopped run writes its files before the session ends.
inline constexpr Message kSessionWaitsForFiles{"parktotals is writing memo1.txt and its run report",
                                               "parktotals 正在写入 memo1.txt 和运行报告"};
inline constexpr Message kStoppedConsoleClosed{"its console window was closed", "其控制台窗口被关闭"};

// The end of the block.
inline constexpr Message kNightsRecordLine{"Record of transferred nights: {0}", "传送日期记录：{0}"};
inline constexpr Message kEndLine{"End: exit code {0}, {1}; {2} of {3} transferred; took {4}",
                                  "结束：退出代码 {0}，{1}；已写入总部 {2}/{3} 项；用时 {4}"};
inline constexpr Message kExitAllFive{"all five figures were transferred", "五项数据全部已写入总部"};
inline constexpr Message kExitAllAsked{"all {0} figures asked for were transferred", "要求的 {0} 项数据全部已写入总部"};
inline constexpr Message kExitStopped{"the run stopped with an error", "运行因错误而中止"};
inline constexpr Message kExitIncomplete{"at least one figure was not transferred", "至少有一项数据未写入总部"};
inline constexpr Message kSeconds{"{0} s", "{0} 秒"};
inline constexpr Message kErrorBoxLine{"Error box: {0}", "错误提示框：{0}"};

// What a run without a window prints on stderr.
inline constexpr Message kNoticeNoCatchUp{"no night caught up: {0}", "没有补发任何日期：{0}"};
inline constexpr Message kNoticeCentralNotReached{"no figure was transferred: the central database was not reached",
                                                  "没有任何数据写入总部：未能连接到总部数据库"};
inline constexpr Message kNoticeDefaultPark{
    "car park number {0} is only the default: {1}; the figures went to car park {0}'s row at head office",
    "停车场编号 {0} 只是默认值：{1}；数据写入了总部数据库中 {0} 号停车场的那一行"};
inline constexpr Message kNoticeFigure{"figure {0} ({1}) not transferred: {2}", "第 {0} 项数据（{1}）未写入总部：{2}"};
inline constexpr Message kNoticeNightFigure{"figure {0} ({1}) of {2} not transferred: {3}",
                                            "{2} 的第 {0} 项数据（{1}）未写入总部：{3}"};

// transferred-nights.txt.
inline constexpr Message kNightsFileComment{
    "# The nights whose figures 3 to 5 parktotals transferred to head office, by date key.",
    "# parktotals 已将第 3 至 5 项数据写入总部的日期，按日期代码列出。"};
inline constexpr Message kNightsFileFirstComment{
    "# \"first\" is the first night the nightly run sent: --catch-up never re-sends it or a night before it.",
    "# \"first\" 是定时运行发送的第一个日期：--catch-up 不会补发这一天及其之前的任何日期。"};
inline constexpr Message kNightsLineSkipped{
    "line {0} (\"{1}\") left out: it is neither a date key (yyyymmdd) nor \"first yyyymmdd\"",
    "第 {0} 行（“{1}”）已跳过：它既不是日期代码（yyyymmdd），也不是 “first yyyymmdd”"};
inline constexpr Message kNightsKeyInFuture{
    "line {0}: {1} lies after yesterday ({2}) and is left out (was the PC's clock ahead?)",
    "第 {0} 行：{1} 在昨天（{2}）之后，已跳过（电脑的时钟是否曾经走快？）"};
inline constexpr Message kNightsFirstInFuture{
    "line {0}: \"first {1}\" lies after yesterday ({2}); the earliest night recorded counts as the first instead",
    "第 {0} 行：“first {1}” 在昨天（{2}）之后；改以记录中最早的日期作为起始"};
inline constexpr Message kFileCannotBeRead{"{0} cannot be read: {1}", "无法读取 {0}：{1}"};
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
inline constexpr Message kCannotBeLocked{"it cannot be locked: {0}", "无法锁定：{0}"};
inline constexpr Message kLockedByAnotherRun{"another run kept it locked for {0} s", "另一次运行将其锁定了 {0} 秒"};

// The run's event in Windows' Application log. {0}: the report's file name.
inline constexpr Message kEventTextCut{"... cut short here: {0} has the rest of this run",
                                       "……内容过长，已在此截断：本次运行的其余内容见 {0}。"};
// A line of the report; {0}: the system's reason.
inline constexpr Message kEventNotWritten{"Event log: this run could not be written to the Application log: {0}",
                                          "事件日志：本次运行未能写入“应用程序”日志：{0}"};

// (end of the run report's messages)

// ---------------------------------------------------------------------------
// The command line, the installer's options and the shells (src/app)
// ---------------------------------------------------------------------------

// The run report could not be written: in the error box of a windowed run,
// on stderr otherwise.
inline constexpr Message kReportNotWritten{"The run report {0} could not be written: {1}", "无法写入运行报告 {0}：{1}"};
inline constexpr Message kNoticeReportNotWritten{"the run report {0} could not be written: {1}",
                                                 "无法写入运行报告 {0}：{1}"};

// The Windows window (shell_win32.cpp), when it cannot be built.
inline constexpr Message kCannotRegisterWindowClass{"Cannot register the window class", "无法注册窗口类"};
inline constexpr Message kCannotCreateMainWindow{"Cannot create the main window", "无法创建主窗口"};
inline constexpr Message kCannotCreateMemo{"Cannot create the memo", "无法创建窗口的文本框"};


// The button of the Linux window's error box (Windows' own boxes label it
// in the system's language).
inline constexpr Message kOkButton{"OK", "确定"};

// The command line. What an option's value has to be:
inline constexpr Message kWantRetries{"a whole number from 0 to {0}", "介于 0 到 {0} 之间的整数"};
inline constexpr Message kWantRetryWait{"a whole number of seconds from 1 to {0}", "介于 1 到 {0} 之间的整数秒数"};
inline constexpr Message kWantCatchUp{"a whole number of nights from 1 to {0}", "介于 1 到 {0} 之间的整数天数"};
inline constexpr Message kWantDate{
    "a past day as yyyy-mm-dd (2026-12-01) or a range of at most {0} past days as FIRST..LAST "
    "(2026-12-01..2026-12-05)",
    "一个过去的日期，格式为 yyyy-mm-dd（如 2026-12-01），或最多 {0} 天的过去日期范围，格式为 FIRST..LAST"
    "（如 2026-12-01..2026-12-05）"};
inline constexpr Message kWantLanguage{"en or zh-CN", "语言代码 en 或 zh-CN"};
inline constexpr Message kWantFieldsFile{"the path of its fields file", "其字段文件的路径"};
// {0} the option, {1} its value in quotes.
inline constexpr Message kOptionValueGive{"{0} {1}: give {2}", "{0} {1}：请给出{2}"};
inline constexpr Message kOptionValueWhyGive{"{0} {1}: {2}; give {3}", "{0} {1}：{2}；请给出{3}"};
inline constexpr Message kOptionValueWhy{"{0} {1}: {2}", "{0} {1}：{2}"};
inline constexpr Message kNoCalendarDay{"{0} is no day of the calendar", "{0} 不是日历上存在的日期"};
inline constexpr Message kNotBeforeToday{"{0} is not before today ({1}): only past days can be sent",
                                         "{0} 不早于今天（{1}）：只能发送过去的日期"};
inline constexpr Message kBeforeEarliestDay{"{0} lies before {1}: no figures were sent then, a typing error?",
                                           "{0} 早于 {1}：那时还没有发送过数据，是否输入有误？"};
inline constexpr Message kRangeReversed{"{0} comes after {1}: the first day goes before the last",
                                        "{0} 在 {1} 之后：起始日期不能在结束日期之后"};
inline constexpr Message kRangeTooLong{"the range holds {0} days; at most {1} can be sent at once",
                                       "该范围包含 {0} 天；一次最多只能发送 {1} 天"};
inline constexpr Message kUnknownOption{"Unknown option {0}: --help lists the options",
                                        "未知选项 {0}：用 --help 可列出所有选项"};
inline constexpr Message kOptionTwice{"{0} is given twice; give each option once", "{0} 给出了两次；每个选项只能给出一次"};
inline constexpr Message kOptionTakesNoValue{"{0} takes no value, but was given {1}", "{0} 不带值，却给出了 {1}"};
inline constexpr Message kOptionNeeds{"{0} needs {1}", "{0} 需要{1}"};
inline constexpr Message kInstallerOptionAlone{"{0} cannot be given with {1}: the installer's options take no other",
                                               "{0} 不能与 {1} 一起使用：安装程序的选项不能与其他选项同时使用"};
inline constexpr Message kCannotWriteStdout{"Cannot write to standard output", "无法写入标准输出"};

// --help. {0} the program's name, {1} the most retries, {2} the longest
// wait, {3} the default wait, {4} the most days. One line a paragraph or
// item: a message box wraps them itself, a terminal gets them wrapped.
inline constexpr Message kUsage{
    "Usage: {0} [options]\n"
    "\n"
    "Without options, sends yesterday's five figures of this car park from its own database (the first line of "
    "RegInfo.INI) to the central totals database, once, writes the updates the central server accepted into "
    "memo1.txt, and ends. A scheduler starts it so each night.\n"
    "\n"
    "Options (each at most once, as --option VALUE or --option=VALUE):\n"
    "  --retries N\n"
    "      Try again, up to N more times, what failed for a reason another try may mend: no answer, a lost link, "
    "a time-out, a deadlock (0 to {1}; default 0).\n"
    "  --retry-wait SECONDS\n"
    "      The wait before each new try (1 to {2}; default {3}).\n"
    "  --date DAY, --date FIRST..LAST\n"
    "      Send these past days instead of yesterday: a day before today as yyyy-mm-dd (2026-12-01), or a range of "
    "at most {4} days (2026-12-01..2026-12-05).\n"
    "  --catch-up DAYS\n"
    "      Also send the nights among the DAYS before yesterday (1 to {4}) that this installation missed: those "
    "after the first night in transferred-nights.txt that it does not list.\n"
    "  --language en|zh-CN\n"
    "      Speak English or Simplified Chinese instead of the display language.\n"
    "  --help\n"
    "      Show this text, whatever else the line holds.\n"
    "  --version\n"
    "      Show the program's version.\n"
    "\n"
    "Re-sending a past day (--date, --catch-up) sends only figures 3 to 5, that day's takings. Figures 1 and 2 "
    "count the monthly cards as they are now, so they say nothing of a past day and go only with yesterday's "
    "figures.\n"
    "\n"
    "Exit codes:\n"
    "  0: every figure asked for was transferred.\n"
    "  1: the run stopped with an error (central server not reached, memo1.txt not writable), or the command line "
    "was refused.\n"
    "  2: the run finished, but at least one figure was not transferred.\n"
    "\n"
    "Files in the working directory:\n"
    "  RegInfo.INI: its first line is the connection string of the car park's database.\n"
    "  memo1.txt: the updates the central server accepted in the last run.\n"
    "  parktotals.log: the run report, what became of each figure and why.\n"
    "  transferred-nights.txt: the record of the nights that were transferred.\n"
    "Beside the program, weixinconfig.ini holds the car park number ([code] jov_park_id).\n"
    "\n"
    "The installer starts the program with --read-connection FILE or --write-connection FILE, alone, to read or "
    "change the login in RegInfo.INI.\n",
    "用法：{0} [选项]\n"
    "\n"
    "不带选项时，从本停车场自己的数据库（RegInfo.INI 的第一行）读取昨天的五项数据，发送到总部数据库一次，"
    "把总部服务器接受的更新语句写入 memo1.txt，然后结束。由计划任务每天启动一次。\n"
    "\n"
    "选项（每个最多给出一次，写法为 --选项 值 或 --选项=值）：\n"
    "  --retries N\n"
    "      失败的原因可能自行消除时（无应答、连接中断、超时、死锁），最多重试 N 次：连不上总部数据库时重试连接，"
    "未写入总部的各项数据也重试（0 到 {1}；默认 0）。\n"
    "  --retry-wait SECONDS\n"
    "      每次重试前等待的秒数（1 到 {2}；默认 {3}）。\n"
    "  --date DAY, --date FIRST..LAST\n"
    "      重发这些过去的日期，而不发送昨天的数据：一个早于今天的日期，格式为 yyyy-mm-dd（如 2026-12-01），"
    "或最多 {4} 天的范围（如 2026-12-01..2026-12-05）。\n"
    "  --catch-up DAYS\n"
    "      同时补发昨天之前 DAYS 天（1 到 {4}）中本机漏发的日期：即 transferred-nights.txt 中 first 日期之后、"
    "该文件没有列出的日期。\n"
    "  --language en|zh-CN\n"
    "      以英文或简体中文显示，而不按系统的显示语言。\n"
    "  --help\n"
    "      显示本说明，不论命令行中还有什么。\n"
    "  --version\n"
    "      显示程序版本。\n"
    "\n"
    "发送过去的日期（--date 重发、--catch-up 补发）时只发送第 3 至 5 项数据，即当天的收费。第 1 和第 2 项数据统计的是"
    "月卡的当前状态，无法反映过去某一天，因此只随昨天的数据一起发送。\n"
    "\n"
    "退出代码：\n"
    "  0：要求的每项数据都已写入总部。\n"
    "  1：运行因错误而中止（连不上总部服务器、无法写入 memo1.txt），或命令行被拒绝。\n"
    "  2：运行已结束，但至少有一项数据未写入总部。\n"
    "\n"
    "工作目录中的文件：\n"
    "  RegInfo.INI：第一行是本停车场数据库的连接字符串。\n"
    "  memo1.txt：上次运行中总部服务器接受的更新语句。\n"
    "  parktotals.log：运行报告，记录每项数据的结果及原因。\n"
    "  transferred-nights.txt：传送日期记录。\n"
    "程序所在文件夹中的 weixinconfig.ini 保存停车场编号（[code] jov_park_id）。\n"
    "\n"
    "安装程序会单独用 --read-connection FILE 或 --write-connection FILE 启动本程序，以读取或修改 RegInfo.INI "
    "中的登录信息。\n"};

// (end of the program's messages)

} // namespace parktotals::msg
