; Every text of the installer's and the uninstaller's own pages, boxes and
; messages, in English and Simplified Chinese side by side (UTF-8; included
; by parktotals-setup.nsi with /CHARSET=UTF8). NSIS shows the language of
; the user's display language, English for any other. The buttons, the
; folder page and the finish page's frame come from NSIS's own language
; files.
;
; One line per language, English first, so that a text without its
; translation shows in review; cmake/check_installer_strings.cmake (run
; before makensis and by ctest) fails the build when a name lacks one of
; the two, or when the two differ in the $variables they show.
;
; The texts use the variables and registers the code sets where it shows
; them ($0, $1, $R6...): a translation keeps the same ones. Names that stay
; as they are in every language: parktotals, RegInfo.INI, weixinconfig.ini,
; memo1.txt, parktotals.log, kex_no, the command line switches, exit codes.

!define SWITCHES "/PARK= /SERVER= /DATABASE= /USER= /PASSWORD= /WINDOWSAUTH /TIME= /D="

; ---- Folder, finish and uninstaller pages ----------------------------------

LangString DirectoryPageTop ${LANG_ENGLISH} "parktotals runs from this folder and writes memo1.txt and its run report parktotals.log into it, so the car park's Windows account must be able to write there (not under Program Files)."
LangString DirectoryPageTop ${LANG_SIMPCHINESE} "parktotals 从此文件夹运行，并在其中写入 memo1.txt 和运行报告 parktotals.log，因此停车场电脑的 Windows 账户必须能写入该文件夹（不要选在 Program Files 下）。"

LangString FinishTitle ${LANG_ENGLISH} "Completing $(^NameDA) Setup"
LangString FinishTitle ${LANG_SIMPCHINESE} "$(^NameDA) 安装完成"

LangString FinishText ${LANG_ENGLISH} "parktotals is installed in $INSTDIR and runs every night at $TaskTime for this Windows account (task $\"${TASK_NAME}$\" in Task Scheduler).$\r$\n$\r$\nRun it once now to check both databases; a box then says how the run went."
LangString FinishText ${LANG_SIMPCHINESE} "parktotals 已安装到 $INSTDIR，每天 $TaskTime 以当前 Windows 账户运行（任务计划程序中的任务“${TASK_NAME}”）。$\r$\n$\r$\n现在运行一次，可检查两个数据库是否都能连通；运行结束后会弹出提示框说明结果。"

LangString RunOnceBox ${LANG_ENGLISH} "Run once now"
LangString RunOnceBox ${LANG_SIMPCHINESE} "立即运行一次"

LangString UnComponentsTop ${LANG_ENGLISH} "The program and its nightly task are removed. Tick the box to remove this car park's settings and reports as well."
LangString UnComponentsTop ${LANG_SIMPCHINESE} "将删除程序及其计划任务。如需同时删除本停车场的设置和报告，请勾选下面的选项。"

LangString UnSectionProgram ${LANG_ENGLISH} "parktotals and its nightly task"
LangString UnSectionProgram ${LANG_SIMPCHINESE} "parktotals 及其计划任务"

LangString UnSectionSettings ${LANG_ENGLISH} "This car park's settings and reports"
LangString UnSectionSettings ${LANG_SIMPCHINESE} "本停车场的设置和报告"

; ---- Car park number page --------------------------------------------------

LangString ParkTitle ${LANG_ENGLISH} "Car park number"
LangString ParkTitle ${LANG_SIMPCHINESE} "停车场编号"

LangString ParkSubtitle ${LANG_ENGLISH} "The number of this car park at head office."
LangString ParkSubtitle ${LANG_SIMPCHINESE} "本停车场在总部的编号。"

LangString ParkIntro ${LANG_ENGLISH} "The car park's number at head office: the kex_no of its row there. The figures are sent into that car park's row, so ask head office if unsure."
LangString ParkIntro ${LANG_SIMPCHINESE} "本停车场在总部的编号，即总部数据库中本停车场那一行的 kex_no。统计数据会写入这一行，如不确定，请向总部确认。"

LangString ParkLabel ${LANG_ENGLISH} "Car par&k number:"
LangString ParkLabel ${LANG_SIMPCHINESE} "停车场编号(&K)："

LangString ParkRequired ${LANG_ENGLISH} "The car park number is required: the kex_no of this car park's row at head office."
LangString ParkRequired ${LANG_SIMPCHINESE} "必须填写停车场编号：即总部数据库中本停车场那一行的 kex_no。"

; ---- Database page ---------------------------------------------------------

LangString DatabaseTitle ${LANG_ENGLISH} "The car park's database"
LangString DatabaseTitle ${LANG_SIMPCHINESE} "本地数据库"

LangString DatabaseSubtitle ${LANG_ENGLISH} "The SQL Server the car park's system writes its figures to."
LangString DatabaseSubtitle ${LANG_SIMPCHINESE} "停车场管理系统写入数据的 SQL Server 服务器。"

LangString ServerLabel ${LANG_ENGLISH} "&Server:"
LangString ServerLabel ${LANG_SIMPCHINESE} "服务器(&S)："

LangString ServerHint ${LANG_ENGLISH} ". (this PC), PC\SQLEXPRESS (an instance) or 192.168.1.5,1433 (a port)"
LangString ServerHint ${LANG_SIMPCHINESE} "“.”（本机）、PC\SQLEXPRESS（实例）或 192.168.1.5,1433（端口）"

LangString DatabaseLabel ${LANG_ENGLISH} "&Database:"
LangString DatabaseLabel ${LANG_SIMPCHINESE} "数据库(&D)："

LangString SqlLoginRadio ${LANG_ENGLISH} "SQL Server &login:"
LangString SqlLoginRadio ${LANG_SIMPCHINESE} "SQL Server 身份验证(&L)："

LangString UserLabel ${LANG_ENGLISH} "&User:"
LangString UserLabel ${LANG_SIMPCHINESE} "登录名(&U)："

LangString PasswordLabel ${LANG_ENGLISH} "P&assword:"
LangString PasswordLabel ${LANG_SIMPCHINESE} "密码(&A)："

LangString WindowsAuthRadio ${LANG_ENGLISH} "&Windows authentication (as the Windows account the task runs under)"
LangString WindowsAuthRadio ${LANG_SIMPCHINESE} "Windows 身份验证（使用运行计划任务的 Windows 账户）(&W)"

LangString DatabaseNote ${LANG_ENGLISH} "Written into RegInfo.INI in the folder. Any characters may be used in the password."
LangString DatabaseNote ${LANG_SIMPCHINESE} "以上内容将写入安装文件夹中的 RegInfo.INI。密码可以使用任何字符。"

LangString ServerRequired ${LANG_ENGLISH} "The server is required: the car park's SQL Server, such as . (this PC), PC\SQLEXPRESS or 192.168.1.5,1433."
LangString ServerRequired ${LANG_SIMPCHINESE} "必须填写服务器：停车场的 SQL Server，例如 “.”（本机）、PC\SQLEXPRESS 或 192.168.1.5,1433。"

LangString DatabaseRequired ${LANG_ENGLISH} "The database is required: the car park's database on that server."
LangString DatabaseRequired ${LANG_SIMPCHINESE} "必须填写数据库：该服务器上停车场的数据库。"

LangString UserRequired ${LANG_ENGLISH} "The user is required for a SQL Server login (or choose Windows authentication)."
LangString UserRequired ${LANG_SIMPCHINESE} "使用 SQL Server 身份验证时必须填写登录名（或选择 Windows 身份验证）。"

; ---- Time page -------------------------------------------------------------

LangString TimeTitle ${LANG_ENGLISH} "Time of the nightly run"
LangString TimeTitle ${LANG_SIMPCHINESE} "每天的运行时间"

LangString TimeSubtitle ${LANG_ENGLISH} "When Task Scheduler starts parktotals each day."
LangString TimeSubtitle ${LANG_SIMPCHINESE} "任务计划程序每天启动 parktotals 的时间。"

LangString TimeIntro ${LANG_ENGLISH} "The program sends yesterday's figures, so any time after midnight works. A night the PC is off is made up when it is back on. The Windows account has to stay logged on (a locked screen is fine)."
LangString TimeIntro ${LANG_SIMPCHINESE} "程序发送的是前一天的数据，因此零点之后的任何时间都可以。到时电脑没有开机的话，开机后会立即补上这次运行。Windows 账户需要保持登录状态（锁屏也可以）。"

LangString TimeLabel ${LANG_ENGLISH} "&Time (HH:MM):"
LangString TimeLabel ${LANG_SIMPCHINESE} "时间（HH:MM）(&T)："

; ---- Checks of the folder, the time and the switches -----------------------
; In a silent install these go to standard error after RefusePrefix.

LangString RefusePrefix ${LANG_ENGLISH} "parktotals setup: "
LangString RefusePrefix ${LANG_SIMPCHINESE} "parktotals 安装程序："

; $7: the switch's name, without its value.
LangString UnknownSwitch ${LANG_ENGLISH} "unknown switch $7 (the switches are ${SWITCHES})"
LangString UnknownSwitch ${LANG_SIMPCHINESE} "未知的安装参数 $7（可用的安装参数为 ${SWITCHES}）"

LangString FolderNotFull ${LANG_ENGLISH} "$INSTDIR is not a full folder on a drive (such as C:\parktotals)."
LangString FolderNotFull ${LANG_SIMPCHINESE} "$INSTDIR 不是某个驱动器上的完整文件夹路径（例如 C:\parktotals）。"

; $1: Program Files, the 64-bit or the 32-bit one.
LangString FolderUnderProgramFiles ${LANG_ENGLISH} "$INSTDIR is under $1, where Windows does not let the program write memo1.txt and parktotals.log. Choose a folder such as C:\parktotals."
LangString FolderUnderProgramFiles ${LANG_SIMPCHINESE} "$INSTDIR 位于 $1 下，Windows 不允许程序在那里写入 memo1.txt 和 parktotals.log。请选择 C:\parktotals 这样的文件夹。"

LangString FolderNotWritable ${LANG_ENGLISH} "This Windows account cannot write to $INSTDIR. Choose a folder it can write to, such as C:\parktotals."
LangString FolderNotWritable ${LANG_SIMPCHINESE} "当前 Windows 账户无法写入 $INSTDIR。请选择该账户可以写入的文件夹，例如 C:\parktotals。"

LangString TimeFormat ${LANG_ENGLISH} "The time must be HH:MM, from 00:00 to 23:59 (for example 02:30), not $\"$TaskTime$\"."
LangString TimeFormat ${LANG_SIMPCHINESE} "时间必须为 HH:MM 格式，介于 00:00 和 23:59 之间（例如 02:30），而不是“$TaskTime”。"

LangString ParkMissing ${LANG_ENGLISH} "/PARK= is missing: the car park's number at head office (its kex_no)"
LangString ParkMissing ${LANG_SIMPCHINESE} "缺少 /PARK=：本停车场在总部的编号（即 kex_no）"

LangString ParkEmpty ${LANG_ENGLISH} "/PARK= is empty: give the car park's number at head office (its kex_no)"
LangString ParkEmpty ${LANG_SIMPCHINESE} "/PARK= 为空：请填写本停车场在总部的编号（即 kex_no）"

LangString WindowsAuthWithLogin ${LANG_ENGLISH} "/WINDOWSAUTH logs in as the Windows account: leave out /USER= and /PASSWORD="
LangString WindowsAuthWithLogin ${LANG_SIMPCHINESE} "/WINDOWSAUTH 表示以 Windows 账户登录：请去掉 /USER= 和 /PASSWORD="

LangString ServerMissing ${LANG_ENGLISH} "/SERVER= is missing: the car park's SQL Server (such as . or PC\SQLEXPRESS or 192.168.1.5,1433)"
LangString ServerMissing ${LANG_SIMPCHINESE} "缺少 /SERVER=：停车场的 SQL Server 服务器（例如 “.”、PC\SQLEXPRESS 或 192.168.1.5,1433）"

LangString DatabaseMissing ${LANG_ENGLISH} "/DATABASE= is missing: the car park's database on that server"
LangString DatabaseMissing ${LANG_SIMPCHINESE} "缺少 /DATABASE=：该服务器上停车场的数据库"

LangString UserMissing ${LANG_ENGLISH} "/USER= is missing: the SQL Server login (or /WINDOWSAUTH for the Windows account)"
LangString UserMissing ${LANG_SIMPCHINESE} "缺少 /USER=：SQL Server 身份验证的登录名（或用 /WINDOWSAUTH 以 Windows 账户登录）"

LangString PasswordMissing ${LANG_ENGLISH} "/PASSWORD= is missing: the SQL Server login's password (/PASSWORD= for none)"
LangString PasswordMissing ${LANG_SIMPCHINESE} "缺少 /PASSWORD=：该登录名的密码（没有密码时写 /PASSWORD=）"

; ---- RegInfo.INI, read and written by the program --------------------------
; $OldError and $R7: the program's own message, or one of the two below.

LangString RegInfoUnreadable ${LANG_ENGLISH} "$INSTDIR\RegInfo.INI cannot be read ($OldError).$\r$\n$\r$\nCorrect or delete it, then click Next again."
LangString RegInfoUnreadable ${LANG_SIMPCHINESE} "无法读取 $INSTDIR\RegInfo.INI（$OldError）。$\r$\n$\r$\n请修正或删除该文件，然后再次点击“下一步”。"

LangString RegInfoUnreadableSilent ${LANG_ENGLISH} "$INSTDIR\RegInfo.INI cannot be read ($OldError). Correct or delete it, or leave out the database switches to keep it as it is."
LangString RegInfoUnreadableSilent ${LANG_SIMPCHINESE} "无法读取 $INSTDIR\RegInfo.INI（$OldError）。请修正或删除该文件；如要保留原样，请不要使用数据库相关的安装参数。"

LangString RegInfoNotWritten ${LANG_ENGLISH} "$INSTDIR\RegInfo.INI could not be written: $R7"
LangString RegInfoNotWritten ${LANG_SIMPCHINESE} "无法写入 $INSTDIR\RegInfo.INI：$R7"

; $R9: the program's path.
LangString ProgramNotStarted ${LANG_ENGLISH} "$R9 could not be started"
LangString ProgramNotStarted ${LANG_SIMPCHINESE} "无法启动 $R9"

; $R8: its option, $R6: its exit code.
LangString ProgramExitCode ${LANG_ENGLISH} "parktotals.exe $R8 ended with exit code $R6"
LangString ProgramExitCode ${LANG_SIMPCHINESE} "parktotals.exe $R8 已结束，退出代码为 $R6"

; ---- Installing ------------------------------------------------------------

LangString DetailRights ${LANG_ENGLISH} "Giving $INSTDIR to this account, SYSTEM and the Administrators only"
LangString DetailRights ${LANG_SIMPCHINESE} "正在将 $INSTDIR 的权限设为仅限当前账户、SYSTEM 和 Administrators"

; Why the folder's rights could not be set: $0 in RightsNotSet.
LangString AccountUnknown ${LANG_ENGLISH} "this Windows account's identity could not be read"
LangString AccountUnknown ${LANG_SIMPCHINESE} "无法读取当前 Windows 账户的身份"

LangString RightsNotBuilt ${LANG_ENGLISH} "the rights could not be built"
LangString RightsNotBuilt ${LANG_SIMPCHINESE} "无法生成权限设置"

; $2: Windows' error code, $3: its text (in Windows' own language).
LangString RightsError ${LANG_ENGLISH} "error $2: $3"
LangString RightsError ${LANG_SIMPCHINESE} "错误 $2：$3"

LangString RightsNotSet ${LANG_ENGLISH} "The rights of $INSTDIR could not be set to this account, SYSTEM and the Administrators only ($0), so another account could read RegInfo.INI or replace parktotals.exe. Choose a folder this account created, such as C:\parktotals."
LangString RightsNotSet ${LANG_SIMPCHINESE} "无法将 $INSTDIR 的权限设为仅限当前账户、SYSTEM 和 Administrators（$0），其他账户可能读取 RegInfo.INI 或替换 parktotals.exe。请选择由当前账户创建的文件夹，例如 C:\parktotals。"

LangString ExeNotWritten ${LANG_ENGLISH} "$INSTDIR\parktotals.exe could not be written (is the program running, or is the folder read-only?)"
LangString ExeNotWritten ${LANG_SIMPCHINESE} "无法写入 $INSTDIR\parktotals.exe（程序是否正在运行，或文件夹是否为只读？）"

; $0: the file's path.
LangString FileNotWritten ${LANG_ENGLISH} "$0 could not be written (is it read-only, or open in another program?)"
LangString FileNotWritten ${LANG_SIMPCHINESE} "无法写入 $0（文件是否为只读，或正被其他程序打开？）"

LangString DetailTask ${LANG_ENGLISH} "Registering the task $\"${TASK_NAME}$\" for this account, daily at $TaskTime"
LangString DetailTask ${LANG_SIMPCHINESE} "正在为当前账户注册计划任务“${TASK_NAME}”，每天 $TaskTime 运行"

; $0: what schtasks returned.
LangString TaskNotRegistered ${LANG_ENGLISH} "The nightly task could not be registered (schtasks ended with $0). Import $INSTDIR\parktotals-task.xml in Task Scheduler instead."
LangString TaskNotRegistered ${LANG_SIMPCHINESE} "无法注册计划任务（schtasks 返回 $0）。请改为在任务计划程序中导入 $INSTDIR\parktotals-task.xml。"

LangString DetailEventSource ${LANG_ENGLISH} "Registering the event source $\"${TASK_NAME}$\" for the Application log"
LangString DetailEventSource ${LANG_SIMPCHINESE} "正在为“应用程序”日志注册事件源“${TASK_NAME}”"

LangString EventSourceNotRegistered ${LANG_ENGLISH} "The event source needs an administrator: the runs' events still go to the Application log, but Event Viewer cannot show their text until it is registered (see README.txt)."
LangString EventSourceNotRegistered ${LANG_SIMPCHINESE} "注册事件源需要管理员权限：每次运行的事件仍会写入“应用程序”日志，但在注册之前，事件查看器无法显示其内容（见 README.txt）。"

; ---- The box after "Run once now" ------------------------------------------

LangString RunExit0 ${LANG_ENGLISH} "Exit code 0: all five figures were transferred."
LangString RunExit0 ${LANG_SIMPCHINESE} "退出代码 0：五项数据已全部写入总部。"

LangString RunExit2 ${LANG_ENGLISH} "Exit code 2: at least one figure was not transferred."
LangString RunExit2 ${LANG_SIMPCHINESE} "退出代码 2：至少有一项数据未写入总部。"

LangString RunExit1 ${LANG_ENGLISH} "Exit code 1: the run stopped with an error (see the box it showed)."
LangString RunExit1 ${LANG_SIMPCHINESE} "退出代码 1：运行因错误而中止（请查看程序弹出的提示框）。"

; $0: what ExecWait returned (empty when the program did not start).
LangString RunFailed ${LANG_ENGLISH} "The program could not be run or ended with $0."
LangString RunFailed ${LANG_SIMPCHINESE} "程序未能运行，或结束时返回 $0。"

LangString RunLogEnd ${LANG_ENGLISH} "The end of parktotals.log:"
LangString RunLogEnd ${LANG_SIMPCHINESE} "parktotals.log 的末尾："

LangString MemoNone ${LANG_ENGLISH} "(none written)"
LangString MemoNone ${LANG_SIMPCHINESE} "（未写入）"
