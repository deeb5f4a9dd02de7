; The installer for a car park's PC (makensis; cmake/packaging.cmake builds
; it). It puts parktotals.exe into a folder the account can write to, writes
; RegInfo.INI and weixinconfig.ini from what the technician types (or from
; the command line with /S), and registers the nightly task for the account
; that installs.
;
; makensis -DVERSION=x.y.z -DEXE=<stripped parktotals.exe> -DOUTFILE=<setup.exe>
;          -DTASK_NSH=<the task's XML as NSIS lines> parktotals-setup.nsi

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
!define TASK_NAME "parktotals"

Name "parktotals ${VERSION}"
Caption "parktotals ${VERSION} Setup"
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
; What the settings files held when the pages were filled in.
Var OldPark
Var OldConnection
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

!define MUI_DIRECTORYPAGE_TEXT_TOP "parktotals runs from this folder and writes memo1.txt and its run report parktotals.log into it, so the car park's Windows account must be able to write there (not under Program Files)."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom ParkPage ParkLeave
Page custom DatabasePage DatabaseLeave
Page custom TimePage TimeLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_TEXT "parktotals is installed in $INSTDIR and runs every night at $TaskTime for this Windows account (task $\"${TASK_NAME}$\" in Task Scheduler).$\r$\n$\r$\nRun it once now to check both databases; a box then says how the run went."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run once now"
!define MUI_FINISHPAGE_RUN_FUNCTION RunOnce
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "The program and its nightly task are removed. Tick the box to remove this car park's settings and reports as well."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

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
      FileWrite $1 "parktotals setup: $0$\r$\n"
    ${EndIf}
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP $0
  ${EndIf}
  SetErrorLevel 2
  Quit
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
      !insertmacro Refuse "unknown switch $7 (the switches are /PARK= /SERVER= /DATABASE= /USER= /PASSWORD= /WINDOWSAUTH /TIME= /D=)"
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
    StrCpy $0 "$INSTDIR is not a full folder on a drive (such as C:\parktotals)."
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
      StrCpy $0 "$INSTDIR is under $1, where Windows does not let the program write memo1.txt and parktotals.log. Choose a folder such as C:\parktotals."
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
    StrCpy $0 "The time must be HH:MM, from 00:00 to 23:59 (for example 02:30), not $\"$TaskTime$\"."
  ${EndIf}
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
  ClearErrors
  FileOpen $0 "$INSTDIR\RegInfo.INI" r
  ${IfNot} ${Errors}
    FileRead $0 $OldConnection
    FileClose $0
    ${WordFind} $OldConnection "=<" "E#" $1
    ${IfNot} ${Errors}
      StrCpy $OldConnection ""
    ${EndIf}
  ${EndIf}
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
    !insertmacro Refuse "/PARK= is missing: the car park's number at head office (its kex_no)"
  ${EndIf}
  ${If} $HavePark == 1
  ${AndIf} $Park == ""
    !insertmacro Refuse "/PARK= is empty: give the car park's number at head office (its kex_no)"
  ${EndIf}
  ; The database switches go together; without any, an existing
  ; RegInfo.INI is kept.
  ${If} $HaveServer$HaveDatabase$HaveUser$HavePassword$WindowsAuth == "0"
  ${AndIf} $OldConnection != ""
    Return
  ${EndIf}
  ${If} $Server == ""
    !insertmacro Refuse "/SERVER= is missing: the car park's SQL Server (such as . or PC\SQLEXPRESS or 192.168.1.5,1433)"
  ${EndIf}
  ${If} $Database == ""
    !insertmacro Refuse "/DATABASE= is missing: the car park's database on that server"
  ${EndIf}
  ${If} $WindowsAuth = 1
    ${If} $HaveUser$HavePassword != ""
      !insertmacro Refuse "/WINDOWSAUTH logs in as the Windows account: leave out /USER= and /PASSWORD="
    ${EndIf}
  ${Else}
    ${If} $User == ""
      !insertmacro Refuse "/USER= is missing: the SQL Server login (or /WINDOWSAUTH for the Windows account)"
    ${EndIf}
    ${If} $HavePassword != 1
      !insertmacro Refuse "/PASSWORD= is missing: the SQL Server login's password (/PASSWORD= for none)"
    ${EndIf}
  ${EndIf}
  StrCpy $HaveServer 1
FunctionEnd

; ---- Writing the files -----------------------------------------------------

; Quotes a value of the connection string the way the program reads it
; back: in double quotes, inner ones doubled, when it holds a ';', starts
; with a quote, or has blanks at either end (which would be trimmed).
; In: $0. Out: $0.
Function QuoteValue
  StrLen $1 $0
  StrCpy $2 0
  StrCpy $3 ""
  StrCpy $4 0
  ${While} $2 < $1
    StrCpy $5 $0 1 $2
    ${If} $5 == ";"
      StrCpy $4 1
    ${EndIf}
    ${If} $5 == '"'
      StrCpy $3 '$3""'
    ${Else}
      StrCpy $3 "$3$5"
    ${EndIf}
    IntOp $2 $2 + 1
  ${EndWhile}
  StrCpy $5 $0 1
  StrCpy $6 $0 "" -1
  ${If} $5 == '"'
  ${OrIf} $5 == "'"
  ${OrIf} $5 == " "
  ${OrIf} $5 == "$\t"
  ${OrIf} $6 == " "
  ${OrIf} $6 == "$\t"
    StrCpy $4 1
  ${EndIf}
  ${If} $4 = 1
    StrCpy $0 '"$3"'
  ${EndIf}
FunctionEnd

; Writes the text $1 into file $0 in the ANSI code page, which the program
; reads; when the code page cannot hold every character (read back, it
; differs), as UTF-16 with a byte-order mark, which the program reads too.
Function WriteTextFile
  ClearErrors
  FileOpen $2 $0 w
  ${If} ${Errors}
    !insertmacro Refuse "$0 could not be written (is it read-only, or open in another program?)"
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

Function WriteRegInfo
  ${If} $WindowsAuth = 1
    StrCpy $R0 "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False"
  ${Else}
    StrCpy $0 $Password
    Call QuoteValue
    StrCpy $R0 "Provider=SQLOLEDB.1;Password=$0;Persist Security Info=True"
    StrCpy $0 $User
    Call QuoteValue
    StrCpy $R0 "$R0;User ID=$0"
  ${EndIf}
  StrCpy $0 $Database
  Call QuoteValue
  StrCpy $R0 "$R0;Initial Catalog=$0"
  StrCpy $0 $Server
  Call QuoteValue
  StrCpy $R0 "$R0;Data Source=$0"
  StrCpy $0 "$INSTDIR\RegInfo.INI"
  StrCpy $1 "$R0$\r$\n"
  Call WriteTextFile
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
  ClearErrors
  File "/oname=parktotals.exe" "${EXE}"
  ${If} ${Errors}
    !insertmacro Refuse "$INSTDIR\parktotals.exe could not be written (is the program running, or is the folder read-only?)"
  ${EndIf}
  ${If} $HavePark == 1
    Call WriteParkConfig
  ${EndIf}
  ${If} $HaveServer == 1
    Call WriteRegInfo
  ${EndIf}
  Call WriteTaskXml
  DetailPrint "Registering the task $\"${TASK_NAME}$\" for this account, daily at $TaskTime"
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /create /tn "${TASK_NAME}" /xml "$INSTDIR\parktotals-task.xml" /f'
  Pop $0
  ${If} $0 != 0
    !insertmacro Refuse "The nightly task could not be registered (schtasks ended with $0). Import $INSTDIR\parktotals-task.xml in Task Scheduler instead."
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
    MessageBox MB_OK|MB_ICONEXCLAMATION "This Windows account cannot write to $INSTDIR. Choose a folder it can write to, such as C:\parktotals."
    Abort
  ${EndIf}
  FileClose $0
  Delete "$INSTDIR\parktotals-setup.tmp"
  Call ReadOldSettings
  Call ParseOldConnection
FunctionEnd

; Splits the first line of an existing RegInfo.INI into the page's fields,
; unquoting as the program does. Keys the pages do not show stay only if
; nothing is changed (the file is then not rewritten).
Function ParseOldConnection
  ${If} $OldConnection == ""
    Return
  ${EndIf}
  ${WordReplace} $OldConnection "$\r" "" "+" $R1
  ${WordReplace} $R1 "$\n" "" "+" $R1
  StrLen $R2 $R1
  StrCpy $R3 0
  ${DoWhile} $R3 < $R2
    ; The key: up to '='.
    StrCpy $R4 ""
    ${DoWhile} $R3 < $R2
      StrCpy $R5 $R1 1 $R3
      IntOp $R3 $R3 + 1
      ${IfThen} $R5 == "=" ${|} ${Break} ${|}
      StrCpy $R4 "$R4$R5"
    ${Loop}
    ; Blanks before the value.
    ${DoWhile} $R3 < $R2
      StrCpy $R5 $R1 1 $R3
      ${If} $R5 != " "
      ${AndIf} $R5 != "$\t"
        ${Break}
      ${EndIf}
      IntOp $R3 $R3 + 1
    ${Loop}
    StrCpy $R6 ""
    StrCpy $R5 $R1 1 $R3
    ${If} $R5 == '"'
    ${OrIf} $R5 == "'"
      StrCpy $R7 $R5
      IntOp $R3 $R3 + 1
      ${DoWhile} $R3 < $R2
        StrCpy $R5 $R1 1 $R3
        IntOp $R3 $R3 + 1
        ${If} $R5 S== $R7
          StrCpy $R8 $R1 1 $R3
          ${IfThen} $R8 S!= $R7 ${|} ${Break} ${|}
          IntOp $R3 $R3 + 1
        ${EndIf}
        StrCpy $R6 "$R6$R5"
      ${Loop}
      ; Up to the ';'.
      ${DoWhile} $R3 < $R2
        StrCpy $R5 $R1 1 $R3
        IntOp $R3 $R3 + 1
        ${IfThen} $R5 == ";" ${|} ${Break} ${|}
      ${Loop}
    ${Else}
      ${DoWhile} $R3 < $R2
        StrCpy $R5 $R1 1 $R3
        IntOp $R3 $R3 + 1
        ${IfThen} $R5 == ";" ${|} ${Break} ${|}
        StrCpy $R6 "$R6$R5"
      ${Loop}
      ${Trim} $R6 $R6
    ${EndIf}
    ${Trim} $R4 $R4
    ${If} $R4 == "Data Source"
    ${OrIf} $R4 == "Server"
      StrCpy $Server $R6
    ${ElseIf} $R4 == "Initial Catalog"
    ${OrIf} $R4 == "Database"
      StrCpy $Database $R6
    ${ElseIf} $R4 == "User ID"
    ${OrIf} $R4 == "UID"
      StrCpy $User $R6
    ${ElseIf} $R4 == "Password"
    ${OrIf} $R4 == "PWD"
      StrCpy $Password $R6
    ${ElseIf} $R4 == "Integrated Security"
    ${OrIf} $R4 == "Trusted_Connection"
      ${If} $R6 == "SSPI"
      ${OrIf} $R6 == "true"
      ${OrIf} $R6 == "yes"
        StrCpy $WindowsAuth 1
      ${EndIf}
    ${EndIf}
  ${Loop}
  StrCpy $OldFields "$Server|$Database|$User|$Password|$WindowsAuth"
FunctionEnd


Function ParkPage
  !insertmacro MUI_HEADER_TEXT "Car park number" "The number of this car park at head office."
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 36u "The car park's number at head office: the kex_no of its row there. The figures are sent into that car park's row, so ask head office if unsure."
  Pop $0
  ${NSD_CreateLabel} 0 44u 80u 12u "Car park &number:"
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
    MessageBox MB_OK|MB_ICONEXCLAMATION "The car park number is required: the kex_no of this car park's row at head office."
    Abort
  ${EndIf}
  ${If} $Park S!= $OldPark
    StrCpy $HavePark 1
  ${EndIf}
FunctionEnd

Function DatabasePage
  !insertmacro MUI_HEADER_TEXT "The car park's database" "The SQL Server the car park's system writes its figures to."
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 2u 60u 12u "&Server:"
  Pop $0
  ${NSD_CreateText} 64u 0 160u 12u $Server
  Pop $ServerField
  ${NSD_CreateLabel} 64u 14u 236u 10u ". (this PC), PC\SQLEXPRESS (an instance) or 192.168.1.5,1433 (a port)"
  Pop $0
  ${NSD_CreateLabel} 0 30u 60u 12u "&Database:"
  Pop $0
  ${NSD_CreateText} 64u 28u 160u 12u $Database
  Pop $DatabaseField
  ${NSD_CreateRadioButton} 0 48u 100% 12u "SQL Server &login:"
  Pop $SqlLoginRadio
  ${NSD_OnClick} $SqlLoginRadio DatabaseAuthClicked
  ${NSD_CreateLabel} 12u 64u 52u 12u "&User:"
  Pop $0
  ${NSD_CreateText} 64u 62u 160u 12u $User
  Pop $UserField
  ${NSD_CreateLabel} 12u 80u 52u 12u "&Password:"
  Pop $0
  ${NSD_CreatePassword} 64u 78u 160u 12u $Password
  Pop $PasswordField
  ${NSD_CreateRadioButton} 0 98u 100% 12u "&Windows authentication (as the Windows account the task runs under)"
  Pop $WindowsAuthRadio
  ${NSD_OnClick} $WindowsAuthRadio DatabaseAuthClicked
  ${If} $WindowsAuth = 1
    ${NSD_Check} $WindowsAuthRadio
  ${Else}
    ${NSD_Check} $SqlLoginRadio
  ${EndIf}
  Call DatabaseAuthClicked
  ${NSD_CreateLabel} 0 116u 100% 20u "Written into RegInfo.INI in the folder. Any characters may be used in the password."
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
    MessageBox MB_OK|MB_ICONEXCLAMATION "The server is required: the car park's SQL Server, such as . (this PC), PC\SQLEXPRESS or 192.168.1.5,1433."
    Abort
  ${EndIf}
  ${If} $Database == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "The database is required: the car park's database on that server."
    Abort
  ${EndIf}
  ${If} $WindowsAuth = 0
  ${AndIf} $User == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "The user is required for a SQL Server login (or choose Windows authentication)."
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
  !insertmacro MUI_HEADER_TEXT "Time of the nightly run" "When Task Scheduler starts parktotals each day."
  nsDialogs::Create 1018
  Pop $Dialog
  ${NSD_CreateLabel} 0 0 100% 36u "The program sends yesterday's figures, so any time after midnight works. A night the PC is off is made up when it is back on. The Windows account has to stay logged on (a locked screen is fine)."
  Pop $0
  ${NSD_CreateLabel} 0 44u 80u 12u "&Time (HH:MM):"
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

Function RunOnce
  SetOutPath $INSTDIR
  ExecWait '"$INSTDIR\parktotals.exe"' $0
  ${If} $0 == 0
    StrCpy $1 "Exit code 0: all five figures were transferred."
  ${ElseIf} $0 == 2
    StrCpy $1 "Exit code 2: at least one figure was not transferred."
  ${ElseIf} $0 == 1
    StrCpy $1 "Exit code 1: the run stopped with an error (see the box it showed)."
  ${Else}
    StrCpy $1 "The program could not be run or ended with $0."
  ${EndIf}
  Call LastReportBlock
  ${If} $3 != ""
    StrCpy $1 "$1$\r$\n$\r$\nThe end of parktotals.log:$\r$\n$3"
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
; box holds it; empty without the file.
Function LastReportBlock
  StrCpy $3 ""
  ClearErrors
  FileOpen $4 "$INSTDIR\parktotals.log" r
  ${If} ${Errors}
    Return
  ${EndIf}
  FileSeek $4 0 END $5
  IntOp $6 $5 - 900
  ${If} $6 < 0
    StrCpy $6 0
  ${EndIf}
  FileSeek $4 $6 SET
  IntOp $5 $5 - $6
  System::Alloc $5
  Pop $7
  System::Call 'kernel32::ReadFile(p r4, p r7, i r5, *i 0 r8, p 0)'
  FileClose $4
  ; Zeroed, so the text read from it ends after what was converted.
  System::Alloc 2048
  Pop $9
  System::Call 'kernel32::MultiByteToWideChar(i 65001, i 0, p r7, i r8, p r9, i 1000)'
  System::Call '*$9(&w1000 .r3)'
  System::Free $9
  System::Free $7
  ; From the last run's first line on.
  ${WordFind} $3 "==== Run of " "E-1}" $5
  ${IfNot} ${Errors}
    StrCpy $3 "==== Run of $5"
  ${EndIf}
  ClearErrors
FunctionEnd

; $3: the first lines of memo1.txt (ANSI), the statements the run sent.
Function MemoLines
  StrCpy $3 ""
  ClearErrors
  FileOpen $4 "$INSTDIR\memo1.txt" r
  ${If} ${Errors}
    StrCpy $3 "(none written)"
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


Section "un.parktotals and its nightly task"
  SectionIn RO
  nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /delete /tn "${TASK_NAME}" /f'
  Pop $0
  Delete "$INSTDIR\parktotals.exe"
  Delete "$INSTDIR\parktotals-task.xml"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.This car park's settings and reports" RemoveFilesSection
  Delete "$INSTDIR\RegInfo.INI"
  Delete "$INSTDIR\weixinconfig.ini"
  Delete "$INSTDIR\memo1.txt"
  Delete "$INSTDIR\parktotals.log"
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
