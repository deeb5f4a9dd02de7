; The installer for a car park's PC (makensis; cmake/packaging.cmake builds
; it). It puts parktotals.exe into a folder the account can write to and
; only it (with SYSTEM and the Administrators) can open, writes RegInfo.INI
; and weixinconfig.ini from what the technician types (or from the command
; line with /S), and registers the nightly task for the account that
; installs. RegInfo.INI's connection string is read and edited by the
; program itself (--read-connection, --write-connection), so that there is
; one parser of it and the keys the pages do not show are kept.
;
; makensis -DVERSION=x.y.z -DEXE=<stripped parktotals.exe> -DOUTFILE=<setup.exe>
;          -DTASK_NSH=<the task's XML as NSIS lines>
;          [-DSIGN_COMMAND=<a program that signs the file it is given>] parktotals-setup.nsi

Unicode true
; The program is 64-bit; a 64-bit installer also runs under Debian's wine64.
Target amd64-unicode
SetCompressor /SOLID lzma
; The default folder and a task for the installing account need no
; administrator; a folder that does is refused with a message instead.
RequestExecutionLevel user
ManifestDPIAware false

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\parktotals"
; How the program hands the database page's fields over and back: a UTF-16
; INI file in the installer's own folder in %TEMP%, never the command line
; (a password there would show in process lists). Deleted after each use.
!define FIELDS "$PLUGINSDIR\connection.ini"
!define TASK_NAME "parktotals"
; The program's events in the Application log: its exe holds their texts.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\parktotals"

; scripts/release --sign: the uninstaller is signed before it goes in (the
; installer itself afterwards).
!ifdef SIGN_COMMAND
  !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
!endif

Name "parktotals ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "C:\parktotals"
; An upgrade goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "parktotals ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey ProductName "parktotals"
VIAddVersionKey FileDescription "parktotals ${VERSION} setup"
VIAddVersionKey FileVersion "${VERSION}"
VIAddVersionKey ProductVersion "${VERSION}"
VIAddVersionKey LegalCopyright "parktotals"

Var Park
Var Server
Var Database
Var User
Var Password
Var WindowsAuth
Var TaskTime
Var TaskFolderXml
; 1 when the value was given on the command line or typed; otherwise the
; car park's file already there is kept.
Var HavePark
Var HaveServer
Var HaveDatabase
Var HaveUser
Var HavePassword
Var HaveTime
; What the settings files held when the pages were filled in. OldConnection
; is 1 when RegInfo.INI holds a connection; OldError says why it could not
; be read.
Var OldPark
Var OldConnection
Var OldError
Var OldServer
Var OldDatabase
Var OldUser
Var OldPassword
Var OldWindowsAuth
Var OldFields

; Page controls.
Var Dialog
Var ParkField
Var ServerField
Var DatabaseField
Var SqlLoginRadio
Var WindowsAuthRadio
Var UserField
Var PasswordField
Var TimeField

!define MUI_ABORTWARNING
!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"

!define MUI_DIRECTORYPAGE_TEXT_TOP "$(DirectoryPageTop)"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom ParkPage ParkLeave
Page custom DatabasePage DatabaseLeave
Page custom TimePage TimeLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "$(FinishTitle)"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(RunOnceBox)"
!define MUI_FINISHPAGE_RUN_FUNCTION RunOnce
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "$(UnComponentsTop)"
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; English first: NSIS falls back to it for any display language without a
; table of its own. Chinese for any Chinese display language.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!include /CHARSET=UTF8 "parktotals-strings.nsh"

; Trims blanks (space, tab) at both ends: ${Trim} out in.
!macro TrimBlanks OUT IN
  Push `${IN}`
  Call TrimBlanks
  Pop ${OUT}
!macroend
!define Trim "!insertmacro TrimBlanks"

Function TrimBlanks
  Exch $0
  Push $1
  ${Do}
    StrCpy $1 $0 1
    ${If} $1 != " "
    ${AndIf} $1 != "$\t"
      ${Break}
    ${EndIf}
    StrCpy $0 $0 "" 1
  ${Loop}
  ${Do}
    StrCpy $1 $0 "" -1
    ${If} $1 != " "
    ${AndIf} $1 != "$\t"
      ${Break}
    ${EndIf}
    StrCpy $0 $0 -1
  ${Loop}
  Pop $1
  Exch $0
FunctionEnd

; ---- Messages that end the installer ---------------------------------------

; Silent: the reason goes to standard error (seen with `2>file`), exit code 2.
!macro Refuse MESSAGE
  Push `${MESSAGE}`
  Call Refuse
!macroend

Function Refuse
  Exch $0
  ${If} ${Silent}
    System::Call 'kernel32::GetStdHandle(i -12) p .r1'
    ${If} $1 P<> 0
    ${AndIf} $1 P<> -1
      StrCpy $0 "$(RefusePrefix)$0$\r$\n"
      Call WriteStandardError
    ${EndIf}
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP $0
  ${EndIf}
  SetErrorLevel 2
  Quit
FunctionEnd

; Writes $0 to the handle $1. A console shows it whatever its code page. A
; file or pipe gets it in the ANSI code page, as `type` and Notepad read
; it, unless that code page lacks one of its characters (Chinese texts, or
; a Chinese folder, under code page 1252): then in UTF-8, which Notepad
; reads too, rather than with question marks.
Function WriteStandardError
  StrLen $2 $0
  System::Call 'kernel32::GetConsoleMode(p r1, *i .r5) i .r3'
  ${If} $3 <> 0
    System::Call 'kernel32::WriteConsoleW(p r1, w r0, i r2, *i .r3, p 0)'
    Return
  ${EndIf}
  ; WC_NO_BEST_FIT_CHARS: a look-alike character counts as lost too.
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w r0, i r2, p 0, i 0, p 0, *i 0 r4) i .r3'
  ${If} $3 <> 0
  ${AndIf} $4 = 0
    FileWrite $1 $0
    Return
  ${EndIf}
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i r2, p 0, i 0, p 0, p 0) i .r3'
  System::Alloc $3
  Pop $4
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i r2, p r4, i r3, p 0, p 0) i .r3'
  System::Call 'kernel32::WriteFile(p r1, p r4, i r3, *i .r5, p 0)'
  System::Free $4
FunctionEnd


; ---- The command line ------------------------------------------------------

!macro Switch ARG NAME VAR FLAG
  StrLen $8 "/${NAME}="
  StrCpy $7 ${ARG} $8
  ${If} $7 == "/${NAME}="
    StrCpy ${VAR} ${ARG} "" $8
    StrCpy ${FLAG} 1
    StrCpy $9 1
  ${EndIf}
!macroend

; The switches, split by Windows' own rules, so that a quoted password
; keeps its blanks, quotes and semicolons: "/PASSWORD=a b;c\"d". NSIS's
; own reading of /S and /D= stops at a quote inside an argument, so both
; are read here as well.
Function ReadSwitches
  System::Call 'kernel32::GetCommandLineW() p .r0'
  System::Call 'shell32::CommandLineToArgvW(p r0, *i 0 r1) p .r2'
  ${If} $2 P= 0
    Return
  ${EndIf}
  StrCpy $3 1
  ${DoWhile} $3 < $1
    IntPtrOp $4 $3 * ${NSIS_PTR_SIZE}
    IntPtrOp $4 $4 + $2
    System::Call '*$4(p .r5)'
    System::Call '*$5(&w${NSIS_MAX_STRLEN} .r6)'
    IntOp $3 $3 + 1
    StrCpy $9 0
    !insertmacro Switch $6 PARK $Park $HavePark
    !insertmacro Switch $6 SERVER $Server $HaveServer
    !insertmacro Switch $6 DATABASE $Database $HaveDatabase
    !insertmacro Switch $6 USER $User $HaveUser
    !insertmacro Switch $6 PASSWORD $Password $HavePassword
    !insertmacro Switch $6 TIME $TaskTime $HaveTime
    ${If} $9 = 1
      ${Continue}
    ${EndIf}
    StrCpy $7 $6 3
    ${If} $6 == "/WINDOWSAUTH"
      StrCpy $WindowsAuth 1
    ${ElseIf} $6 == "/S"
      SetSilent silent
    ${ElseIf} $6 == "/NCRC"
    ${ElseIf} $7 == "/D="
      ; The last, quoted or not: unquoted, its blanks split it.
      StrCpy $INSTDIR $6 "" 3
      ${DoWhile} $3 < $1
        IntPtrOp $4 $3 * ${NSIS_PTR_SIZE}
        IntPtrOp $4 $4 + $2
        System::Call '*$4(p .r5)'
        System::Call '*$5(&w${NSIS_MAX_STRLEN} .r6)'
        StrCpy $INSTDIR "$INSTDIR $6"
        IntOp $3 $3 + 1
      ${Loop}
    ${Else}
      ; The name only: a mistyped /PASSWORD= must not show its value.
      ${WordFind} $6 "=" "+1{" $7
      System::Call 'kernel32::LocalFree(p r2)'
      !insertmacro Refuse "$(UnknownSwitch)"
    ${EndIf}
  ${Loop}
  System::Call 'kernel32::LocalFree(p r2)'
FunctionEnd

; ---- Checks ----------------------------------------------------------------

; $0: empty when the folder is allowed, else why not.
Function CheckFolder
  StrCpy $0 ""
  StrCpy $1 $INSTDIR 2 1
  ${If} $1 != ":\"
    StrCpy $0 "$(FolderNotFull)"
    Return
  ${EndIf}
  StrCpy $1 $PROGRAMFILES64
  Call CheckNotUnder
  StrCpy $1 $PROGRAMFILES32
  Call CheckNotUnder
FunctionEnd

; Sets $0 when $INSTDIR is the folder $1 or under it.
Function CheckNotUnder
  StrLen $2 $1
  StrCpy $3 $INSTDIR $2
  StrCpy $4 $INSTDIR 1 $2
  ${If} $3 == $1
    ${If} $4 == ""
    ${OrIf} $4 == "\"
      StrCpy $0 "$(FolderUnderProgramFiles)"
    ${EndIf}
  ${EndIf}
FunctionEnd

; $0: empty when $TaskTime is HH:MM (00:00 to 23:59), else why not.
Function CheckTime
  StrCpy $0 ""
  StrCpy $1 $TaskTime 2
  StrCpy $2 $TaskTime 1 2
  StrCpy $3 $TaskTime 2 3
  StrLen $4 $TaskTime
  IntOp $5 $1 + 0
  IntOp $6 $3 + 0
  IntFmt $7 "%02d" $5
  IntFmt $8 "%02d" $6
  ${If} $4 != 5
  ${OrIf} $2 != ":"
  ${OrIf} $7 != $1
  ${OrIf} $8 != $3
  ${OrIf} $5 > 23
  ${OrIf} $6 > 59
    StrCpy $0 "$(TimeFormat)"
  ${EndIf}
FunctionEnd

; The program of this installer, in the installer's own folder: it reads
; the folder's RegInfo.INI before anything is installed.
Function ExtractProgram
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\parktotals.exe"
    File "/oname=$PLUGINSDIR\parktotals.exe" "${EXE}"
  ${EndIf}
FunctionEnd

; Runs the program $R9 with the option $R8 and the fields file, in the
; folder (where RegInfo.INI is). $R7: empty when done, else why not.
Function RunConnectionOption
  SetOutPath $INSTDIR
  ClearErrors
  ExecWait '"$R9" $R8 "${FIELDS}"' $R6
  StrCpy $R7 ""
  ${If} ${Errors}
    StrCpy $R7 "$(ProgramNotStarted)"
  ${ElseIf} $R6 != 0
    ReadINIStr $R7 "${FIELDS}" connection error
    ${If} $R7 == ""
      StrCpy $R7 "$(ProgramExitCode)"
    ${EndIf}
  ${EndIf}
  ClearErrors
FunctionEnd

; The car park's files already in the folder (an upgrade, or an unpacked
; zip): their values are kept unless new ones are given. The zip's samples
; still hold their <placeholders>: those count as not set.
Function ReadOldSettings
  ReadINIStr $OldPark "$INSTDIR\weixinconfig.ini" "code" "jov_park_id"
  StrCpy $0 $OldPark 1
  ${If} $0 == "<"
    StrCpy $OldPark ""
  ${EndIf}
  StrCpy $OldConnection ""
  StrCpy $OldError ""
  ${IfNot} ${FileExists} "$INSTDIR\RegInfo.INI"
    Return
  ${EndIf}
  Call ExtractProgram
  Delete "${FIELDS}"
  StrCpy $R9 "$PLUGINSDIR\parktotals.exe"
  StrCpy $R8 "--read-connection"
  Call RunConnectionOption
  ${If} $R7 != ""
    StrCpy $OldError $R7
  ${Else}
    ReadINIStr $OldConnection "${FIELDS}" connection found
    ReadINIStr $OldServer "${FIELDS}" connection server
    ReadINIStr $OldDatabase "${FIELDS}" connection database
    ReadINIStr $OldUser "${FIELDS}" connection user
    ReadINIStr $OldPassword "${FIELDS}" connection password
    ReadINIStr $OldWindowsAuth "${FIELDS}" connection windowsauth
    ${If} $OldConnection != 1
      StrCpy $OldConnection ""
    ${EndIf}
  ${EndIf}
  Delete "${FIELDS}"
FunctionEnd

Function .onInit
  StrCpy $WindowsAuth 0
  StrCpy $TaskTime "02:30"
  Call ReadSwitches
  ${IfNot} ${Silent}
    Return
  ${EndIf}
  ; Everything is checked before anything is written.
  Call CheckFolder
  ${If} $0 != ""
    !insertmacro Refuse $0
  ${EndIf}
  Call CheckTime
  ${If} $0 != ""
    !insertmacro Refuse $0
  ${EndIf}
  Call ReadOldSettings
  ${If} $HavePark != 1
  ${AndIf} $OldPark == ""
    !insertmacro Refuse "$(ParkMissing)"
  ${EndIf}
  ${If} $HavePark == 1
  ${AndIf} $Park == ""
    !insertmacro Refuse "$(ParkEmpty)"
  ${EndIf}
  ; Without database switches an existing RegInfo.INI is kept as it is.
  ${If} $HaveServer$HaveDatabase$HaveUser$HavePassword$WindowsAuth == "0"
  ${AndIf} $OldConnection$OldError != ""
    Return
  ${EndIf}
  ${If} $OldError != ""
    !insertmacro Refuse "$(RegInfoUnreadableSilent)"
  ${EndIf}
  ${If} $WindowsAuth = 1
  ${AndIf} $HaveUser$HavePassword != ""
    !insertmacro Refuse "$(WindowsAuthWithLogin)"
  ${EndIf}
  ; The switches given replace their values; the others stay as
  ; RegInfo.INI has them, the kind of login too.
  ${If} $OldConnection == 1
    ${IfThen} $HaveServer != 1 ${|} StrCpy $Server $OldServer ${|}
    ${IfThen} $HaveDatabase != 1 ${|} StrCpy $Database $OldDatabase ${|}
    ${If} $HaveUser$HavePassword == ""
    ${AndIf} $OldWindowsAuth == 1
      StrCpy $WindowsAuth 1
    ${EndIf}
    ${If} $OldWindowsAuth != 1
      ${IfThen} $HaveUser != 1 ${|} StrCpy $User $OldUser ${|}
      ${If} $HavePassword != 1
        StrCpy $Password $OldPassword
        StrCpy $HavePassword 1
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $Server == ""
    !insertmacro Refuse "$(ServerMissing)"
  ${EndIf}
  ${If} $Database == ""
    !insertmacro Refuse "$(DatabaseMissing)"
  ${EndIf}
  ${If} $WindowsAuth = 0
    ${If} $User == ""
      !insertmacro Refuse "$(UserMissing)"
    ${EndIf}
    ${If} $HavePassword != 1
      !insertmacro Refuse "$(PasswordMissing)"
    ${EndIf}
  ${EndIf}
  StrCpy $HaveServer 1
FunctionEnd

; ---- Writing the files -----------------------------------------------------

; Writes the text $1 into file $0 in the ANSI code page, which the program
; reads; when the code page cannot hold every character (read back, it
; differs), as UTF-16 with a byte-order mark, which the program reads too.
Function WriteTextFile
  ClearErrors
  FileOpen $2 $0 w
  ${If} ${Errors}
    !insertmacro Refuse "$(FileNotWritten)"
  ${EndIf}
  FileWrite $2 $1
  FileClose $2
  FileOpen $2 $0 r
  StrCpy $3 ""
  ${Do}
    FileRead $2 $4
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    StrCpy $3 "$3$4"
  ${Loop}
  FileClose $2
  ${If} $3 S!= $1
    FileOpen $2 $0 w
    FileWriteWord $2 0xFEFF
    FileWriteUTF16LE $2 $1
    FileClose $2
  ${EndIf}
  ClearErrors
FunctionEnd

; The page's fields into RegInfo.INI's first line, by the installed
; program: the other keys, the other lines and the file's encoding stay.
Function WriteRegInfo
  Delete "${FIELDS}"
  ; A file that starts UTF-16 stays UTF-16, so any character gets through.
  FileOpen $0 "${FIELDS}" w
  FileWriteWord $0 0xFEFF
  FileClose $0
  ; In quotes: the INI reader would trim blanks at the ends.
  WriteINIStr "${FIELDS}" connection server '"$Server"'
  WriteINIStr "${FIELDS}" connection database '"$Database"'
  WriteINIStr "${FIELDS}" connection user '"$User"'
  WriteINIStr "${FIELDS}" connection password '"$Password"'
  WriteINIStr "${FIELDS}" connection windowsauth $WindowsAuth
  StrCpy $R9 "$INSTDIR\parktotals.exe"
  StrCpy $R8 "--write-connection"
  Call RunConnectionOption
  Delete "${FIELDS}"
  ${If} $R7 != ""
    !insertmacro Refuse "$(RegInfoNotWritten)"
  ${EndIf}
FunctionEnd

; Gives the folder rights of its own: full control for the account that
; installs, SYSTEM and the Administrators, nobody else, nothing inherited
; from the drive (under C:\ every signed-in user may change new folders).
; The files in it inherit them. The owner of a folder may always change its
; rights, so no elevation is needed. $0: empty when done, else why not.
Function SecureFolder
  StrCpy $0 ""
  ; The account's SID, from the installer's own token.
  System::Call 'advapi32::OpenProcessToken(p -1, i 0x8, *p .r1) i .r2'
  ${If} $2 = 0
    StrCpy $0 "$(AccountUnknown)"
    Return
  ${EndIf}
  System::Call 'advapi32::GetTokenInformation(p r1, i 1, p 0, i 0, *i .r3)'
  System::Alloc $3
  Pop $4
  System::Call 'advapi32::GetTokenInformation(p r1, i 1, p r4, i r3, *i .r3) i .r2'
  StrCpy $7 ""
  ${If} $2 <> 0
    System::Call '*$4(p .r5)'
    System::Call 'advapi32::ConvertSidToStringSidW(p r5, *p .r6) i .r2'
    ${If} $2 <> 0
      System::Call 'kernel32::lstrcpynW(w .r7, p r6, i ${NSIS_MAX_STRLEN})'
      System::Call 'kernel32::LocalFree(p r6)'
    ${EndIf}
  ${EndIf}
  System::Free $4
  System::Call 'kernel32::CloseHandle(p r1)'
  ${If} $7 == ""
    StrCpy $0 "$(AccountUnknown)"
    Return
  ${EndIf}
  ; P: not inherited; OICI: passed on to the files and folders in it.
  StrCpy $8 "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;$7)"
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r8, i 1, *p .r1, p 0) i .r2'
  ${If} $2 = 0
    StrCpy $0 "$(RightsNotBuilt)"
    Return
  ${EndIf}
  System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r5)'
  ; DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
  System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000004, p 0, p 0, p r4, p 0) i .r2'
  System::Call 'kernel32::LocalFree(p r1)'
  ${If} $2 <> 0
    System::Call 'kernel32::FormatMessageW(i 0x1200, p 0, i r2, i 0, w .r3, i ${NSIS_MAX_STRLEN}, p 0)'
    ${WordReplace} $3 "$\r$\n" "" "+" $3
    ${Trim} $3 $3
    StrCpy $0 "$(RightsError)"
  ${EndIf}
FunctionEnd

Function WriteParkConfig
  ${If} ${FileExists} "$INSTDIR\weixinconfig.ini"
    ; Only the key changes; the file keeps its encoding and other lines.
    WriteINIStr "$INSTDIR\weixinconfig.ini" "code" "jov_park_id" $Park
  ${Else}
    StrCpy $0 "$INSTDIR\weixinconfig.ini"
    StrCpy $1 "[code]$\r$\njov_park_id=$Park$\r$\n"
    Call WriteTextFile
  ${EndIf}
FunctionEnd

; The task as parktotals-task.xml of the zip defines it, with this folder
; and time: UTF-16 with a byte-order mark, which schtasks always takes.
Function WriteTaskXml
  ${WordReplace} $INSTDIR "&" "&amp;" "+" $TaskFolderXml
  FileOpen $0 "$INSTDIR\parktotals-task.xml" w
  FileWriteWord $0 0xFEFF
  !include "${TASK_NSH}"
  FileClose $0
FunctionEnd

Section "parktotals"
  SetOutPath $INSTDIR
  ; Before anything with a password goes in.
  DetailPrint "$(DetailRights)"
  Call SecureFolder
  ${If} $0 != ""
    !insertmacro Refuse "$(RightsNotSet)"
  ${EndIf}
  ClearErrors
  File "/oname=parktotals.exe" "${EXE}"
  ${If} ${Errors}
    !insertmacro Refuse "$(ExeNotWritten)"
  ${EndIf}
  ${If} $HavePark == 1
    Call WriteParkConfig
  ${EndIf}
  ${If} $HaveServer == 1
    Call WriteRegInfo
  ${EndIf}
  Call WriteTaskXml
  DetailPrint "$(DetailTask)"
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /create /tn "${TASK_NAME}" /xml "$INSTDIR\parktotals-task.xml" /f'
  Pop $0
  ${If} $0 != 0
    !insertmacro Refuse "$(TaskNotRegistered)"
  ${EndIf}

  ; HKLM takes an administrator. Without one the events are written all
  ; the same, only Event Viewer then lacks their text.
  DetailPrint "$(DetailEventSource)"
  ClearErrors
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\parktotals.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
  ${If} ${Errors}
    DetailPrint "$(EventSourceNotRegistered)"
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "parktotals"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "parktotals"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\parktotals.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" $INSTDIR
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} $INSTDIR "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; ---- Wizard pages ----------------------------------------------------------

Function DirectoryLeave
  Call CheckFolder
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION $0
    Abort
  ${EndIf}
  ; A folder this account cannot write to would need an administrator
  ; every night as well: refuse it here rather than ask for elevation.
  ClearErrors
  CreateDirectory $INSTDIR
  FileOpen $0 "$INSTDIR\parktotals-setup.tmp" w
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(FolderNotWritable)"
    Abort
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\parktotals-setup.tmp"
  Call ReadOldSettings
  ${If} $OldError != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(RegInfoUnreadable)"
    Abort
  ${EndIf}
  ${If} $OldConnection == 1
    StrCpy $Server $OldServer
    StrCpy $Database $OldDatabase
    StrCpy $User $OldUser
    StrCpy $Password $OldPassword
    StrCpy $WindowsAuth $OldWindowsAuth
  ${EndIf}
  StrCpy $OldFields "$Server|$Database|$User|$Password|$WindowsAuth"
FunctionEnd

Function ParkPage
  !insertmacro MUI_HEADER_TEXT "$(ParkTitle)" "$(ParkSubtitle)"
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 36u "$(ParkIntro)"
  Pop $0
  ${NSD_CreateLabel} 0 44u 80u 12u "$(ParkLabel)"
  Pop $0
  ${If} $Park == ""
    StrCpy $Park $OldPark
  ${EndIf}
  ${NSD_CreateText} 84u 42u 80u 12u $Park
  Pop $ParkField
  ${NSD_SetFocus} $ParkField
  nsDialogs::Show
FunctionEnd

Function ParkLeave
  ${NSD_GetText} $ParkField $Park
  ${Trim} $Park $Park
  ${If} $Park == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(ParkRequired)"
    Abort
  ${EndIf}
  ${If} $Park S!= $OldPark
    StrCpy $HavePark 1
  ${EndIf}
FunctionEnd

Function DatabasePage
  !insertmacro MUI_HEADER_TEXT "$(DatabaseTitle)" "$(DatabaseSubtitle)"
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 2u 60u 12u "$(ServerLabel)"
  Pop $0
  ${NSD_CreateText} 64u 0 160u 12u $Server
  Pop $ServerField
  ${NSD_CreateLabel} 64u 14u 236u 10u "$(ServerHint)"
  Pop $0
  ${NSD_CreateLabel} 0 30u 60u 12u "$(DatabaseLabel)"
  Pop $0
  ${NSD_CreateText} 64u 28u 160u 12u $Database
  Pop $DatabaseField
  ${NSD_CreateRadioButton} 0 48u 100% 12u "$(SqlLoginRadio)"
  Pop $SqlLoginRadio
  ${NSD_OnClick} $SqlLoginRadio DatabaseAuthClicked
  ${NSD_CreateLabel} 12u 64u 52u 12u "$(UserLabel)"
  Pop $0
  ${NSD_CreateText} 64u 62u 160u 12u $User
  Pop $UserField
  ${NSD_CreateLabel} 12u 80u 52u 12u "$(PasswordLabel)"
  Pop $0
  ${NSD_CreatePassword} 64u 78u 160u 12u $Password
  Pop $PasswordField
  ${NSD_CreateRadioButton} 0 98u 100% 12u "$(WindowsAuthRadio)"
  Pop $WindowsAuthRadio
  ${NSD_OnClick} $WindowsAuthRadio DatabaseAuthClicked
  ${If} $WindowsAuth = 1
    ${NSD_Check} $WindowsAuthRadio
  ${Else}
    ${NSD_Check} $SqlLoginRadio
  ${EndIf}
  Call DatabaseAuthClicked
  ${NSD_CreateLabel} 0 116u 100% 20u "$(DatabaseNote)"
  Pop $0
  ${NSD_SetFocus} $ServerField
  nsDialogs::Show
FunctionEnd

Function DatabaseAuthClicked
  Pop $0
  ${NSD_GetState} $WindowsAuthRadio $0
  ${If} $0 = ${BST_CHECKED}
    EnableWindow $UserField 0
    EnableWindow $PasswordField 0
  ${Else}
    EnableWindow $UserField 1
    EnableWindow $PasswordField 1
  ${EndIf}
FunctionEnd

Function DatabaseLeave
  ${NSD_GetText} $ServerField $Server
  ${NSD_GetText} $DatabaseField $Database
  ${NSD_GetText} $UserField $User
  ${NSD_GetText} $PasswordField $Password
  ${NSD_GetState} $WindowsAuthRadio $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $WindowsAuth 1
  ${Else}
    StrCpy $WindowsAuth 0
  ${EndIf}
  ${Trim} $Server $Server
  ${Trim} $Database $Database
  ${If} $Server == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(ServerRequired)"
    Abort
  ${EndIf}
  ${If} $Database == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(DatabaseRequired)"
    Abort
  ${EndIf}
  ${If} $WindowsAuth = 0
  ${AndIf} $User == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(UserRequired)"
    Abort
  ${EndIf}
  ${If} $OldConnection == ""
  ${OrIf} "$Server|$Database|$User|$Password|$WindowsAuth" S!= $OldFields
    StrCpy $HaveServer 1
  ${Else}
    StrCpy $HaveServer 0
  ${EndIf}
FunctionEnd

Function TimePage
  !insertmacro MUI_HEADER_TEXT "$(TimeTitle)" "$(TimeSubtitle)"
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 36u "$(TimeIntro)"
  Pop $0
  ${NSD_CreateLabel} 0 44u 80u 12u "$(TimeLabel)"
  Pop $0
  ${NSD_CreateText} 84u 42u 40u 12u $TaskTime
  Pop $TimeField
  ${NSD_SetFocus} $TimeField
  nsDialogs::Show
FunctionEnd

Function TimeLeave
  ${NSD_GetText} $TimeField $TaskTime
  ${Trim} $TaskTime $TaskTime
  Call CheckTime
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION $0
    Abort
  ${EndIf}
FunctionEnd

; ---- Run once now ----------------------------------------------------------

; A check run, without the task's options: one pass and no waits for a
; retry, so the box says within seconds whether both databases answer.
Function RunOnce
  SetOutPath $INSTDIR
  ExecWait '"$INSTDIR\parktotals.exe"' $0
  ${If} $0 == 0
    StrCpy $1 "$(RunExit0)"
  ${ElseIf} $0 == 2
    StrCpy $1 "$(RunExit2)"
  ${ElseIf} $0 == 1
    StrCpy $1 "$(RunExit1)"
  ${Else}
    StrCpy $1 "$(RunFailed)"
  ${EndIf}
  Call LastReportBlock
  ${If} $3 != ""
    StrCpy $1 "$1$\r$\n$\r$\n$(RunLogEnd)$\r$\n$3"
  ${Else}
    Call MemoLines
    StrCpy $1 "$1$\r$\n$\r$\nmemo1.txt:$\r$\n$3"
  ${EndIf}
  ${If} $0 == 0
    MessageBox MB_OK|MB_ICONINFORMATION $1
  ${Else}
    MessageBox MB_OK|MB_ICONEXCLAMATION $1
  ${EndIf}
FunctionEnd

; $3: the last run's block of parktotals.log (UTF-8), as far as a message
; box holds it; empty without the file. The block starts at the last line
; that starts with "==== ", in any language.
Function LastReportBlock
  StrCpy $3 ""
  ClearErrors
  FileOpen $4 "$INSTDIR\parktotals.log" r
  ${If} ${Errors}
    Return
  ${EndIf}
  ; The last 8 KiB hold a whole block, even with retries and caught-up days.
  FileSeek $4 0 END $5
  IntOp $6 $5 - 8192
  ${If} $6 < 0
    StrCpy $6 0
  ${EndIf}
  FileSeek $4 $6 SET
  IntOp $5 $5 - $6
  System::Alloc $5
  Pop $7
  System::Call 'kernel32::ReadFile(p r4, p r7, i r5, *i 0 r8, p 0)'
  FileClose $4
  ; Zeroed, with room after the text for the 900 characters taken from the
  ; block's start even when that is near the end.
  System::Alloc 20480
  Pop $9
  System::Call 'kernel32::MultiByteToWideChar(i 65001, i 0, p r7, i r8, p r9, i 9000)'
  System::Free $7
  System::Call 'shlwapi::StrRStrIW(p r9, p 0, w "$\n==== ") p .r5'
  ${If} $5 P<> 0
    IntPtrOp $5 $5 + 2
  ${ElseIf} $6 == 0
    ; The file's only block: from its start, after the byte-order mark.
    StrCpy $5 $9
    System::Call '*$9(&i2 .r4)'
    ${IfThen} $4 = 0xFEFF ${|} IntPtrOp $5 $9 + 2 ${|}
  ${Else}
    ; No block's start in reach: the file's last characters.
    System::Call 'kernel32::lstrlenW(p r9) i .r4'
    IntOp $4 $4 - 900
    ${IfThen} $4 < 0 ${|} StrCpy $4 0 ${|}
    IntOp $4 $4 * 2
    IntPtrOp $5 $9 + $4
  ${EndIf}
  System::Call '*$5(&w900 .r3)'
  System::Free $9
  ClearErrors
FunctionEnd

; $3: the first lines of memo1.txt (ANSI), the statements the run sent.
Function MemoLines
  StrCpy $3 ""
  ClearErrors
  FileOpen $4 "$INSTDIR\memo1.txt" r
  ${If} ${Errors}
    StrCpy $3 "$(MemoNone)"
    Return
  ${EndIf}
  ${For} $5 1 5
    FileRead $4 $6
    ${IfThen} ${Errors} ${|} ${Break} ${|}
    StrCpy $3 "$3$6"
  ${Next}
  FileClose $4
  ClearErrors
FunctionEnd

; ---- Uninstaller -----------------------------------------------------------


Section "un.$(UnSectionProgram)"
  SectionIn RO
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /delete /tn "${TASK_NAME}" /f'
  Pop $0
  Delete "$INSTDIR\parktotals.exe"
  Delete "$INSTDIR\parktotals-task.xml"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; Only this installation's: another folder's may have registered it since.
  ReadRegStr $0 HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile"
  ${If} $0 == "$INSTDIR\parktotals.exe"
    DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  ${EndIf}
SectionEnd

Section /o "un.$(UnSectionSettings)" RemoveFilesSection
  Delete "$INSTDIR\RegInfo.INI"
  Delete "$INSTDIR\weixinconfig.ini"
  Delete "$INSTDIR\memo1.txt"
  Delete "$INSTDIR\parktotals.log"
  Delete "$INSTDIR\transferred-nights.txt"
SectionEnd

Section "-un.folder"
  ; Only when empty: the car park's files stay unless chosen above.
  RMDir $INSTDIR
SectionEnd

; /REMOVEFILES: a silent uninstall removes the car park's files too.
Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEFILES" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${RemoveFilesSection} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
