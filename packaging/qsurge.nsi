; Per-user installer of Q-Surge. tools/package.sh builds it:
;   makensis -DVERSION=<a.b.c.d> -DSTAGE=<staged files> -DICON=<icon> -DOUTFILE=<setup.exe> qsurge.nsi
; It installs without administrator rights into the user's own programs
; folder, which the user may write, so the profile beside the program works.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh

!define PRODUCT "Q-Surge"
!define PUBLISHER "Q-Surge"
!define EXE "qsurge.exe"
!define GUARD "qsurge-guard.exe"
!define UNINSTALLER "uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "QuiloStartUpAutoRun"
; How long a running copy gets to close on request, and then to die when ended hard.
!define CLOSE_TIMEOUT_MS 10000
!define KILL_TIMEOUT_MS 5000
; What the setup asks of a process of the program to find and await it:
; SYNCHRONIZE and PROCESS_QUERY_LIMITED_INFORMATION, which the system grants
; also for a copy started "as administrator". Ending it hard is asked apart.
!define SYNCHRONIZE_QUERY 0x00101000
!define PROCESS_TERMINATE 0x0001
!define EVENT_MODIFY_STATE 0x0002

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"
ManifestDPIAware true

; The program's own version resource names no copyright holder either.
!pragma warning disable 9100
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Ends every copy of the program that runs from $INSTDIR, so that its files
; can go. Each is asked to close as its close key does (WM_CLOSE, as Alt+F4
; would), which hands the fan back to the driver; a copy started "as
; administrator" drops that message from this setup, which runs without
; administrator rights, so the program's close event of this user and
; session is set as well, which any copy obeys. Only one still running after
; the timeout is ended hard (where this setup may end it). Then the program's
; windowless processes (its fan guard, which ends once the program has) are
; waited for.
; A copy that cannot be ended aborts the setup: files in use cannot be replaced
; or removed. Copies run from elsewhere are left alone.
!macro DEFINE_END_PROGRAM un
; $0: process id -> $1: an open handle when that process runs $R9 (the
; program) or $R7 (its fan guard), else 0.
Function ${un}OpenIfOurs
    StrCpy $1 0
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE_QUERY}, i 0, i r0) p .r8'
    ${If} $8 P= 0
        Return
    ${EndIf}
    System::Call 'kernel32::QueryFullProcessImageNameW(p r8, i 0, w .r9, *i ${NSIS_MAX_STRLEN}) i .r7'
    ${If} $7 <> 0
        ; The same file may be named by its short form.
        System::Call 'kernel32::GetLongPathNameW(w r9, w .R8, i ${NSIS_MAX_STRLEN}) i .r7'
        ${If} $7 <> 0
            ${If} $R8 == $R9
            ${OrIf} $R8 == $R7
                StrCpy $1 $8
                Return
            ${EndIf}
        ${EndIf}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r8)'
FunctionEnd

; $0: a process id, $1: an open handle of it, closed here. Aborts when the
; process outlives both the wait for its end and the one after it was ended
; hard, or cannot be ended by this setup.
Function ${un}AwaitEnd
    System::Call 'kernel32::WaitForSingleObject(p r1, i ${CLOSE_TIMEOUT_MS}) i .r7'
    ${If} $7 <> 0
        DetailPrint "$(^Name) did not close in time; ending it."
        System::Call 'kernel32::OpenProcess(i ${PROCESS_TERMINATE}, i 0, i r0) p .r8'
        ${If} $8 P<> 0
            System::Call 'kernel32::TerminateProcess(p r8, i 1)'
            System::Call 'kernel32::CloseHandle(p r8)'
        ${EndIf}
        System::Call 'kernel32::WaitForSingleObject(p r1, i ${KILL_TIMEOUT_MS}) i .r7'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
    ${If} $7 <> 0
        MessageBox MB_OK|MB_ICONSTOP "$(^Name) is still running and could not be ended. Close it, then run this program again." /SD IDOK
        Abort
    ${EndIf}
FunctionEnd

; -> $R6: the user's identity as text ("S-1-5-21-..."), which names the
; program's objects; empty when it cannot be read. Uses $0 to $4.
Function ${un}UserSid
    StrCpy $R6 ""
    System::Call 'kernel32::GetCurrentProcess() p .r0'
    System::Call 'advapi32::OpenProcessToken(p r0, i 8, *p .r0) i .r1'
    ${If} $1 = 0
        Return
    ${EndIf}
    StrCpy $2 0
    System::Call 'advapi32::GetTokenInformation(p r0, i 1, p 0, i 0, *i .r2)'
    ${If} $2 > 0
        System::Alloc $2
        Pop $1
        System::Call 'advapi32::GetTokenInformation(p r0, i 1, p r1, i r2, *i .r2) i .r3'
        ${If} $3 <> 0
            ; TOKEN_USER begins with the address of the user's SID.
            System::Call '*$1(p .r2)'
            System::Call 'advapi32::ConvertSidToStringSidW(p r2, *p .r3) i .r4'
            ${If} $4 <> 0
                System::Call 'kernel32::lstrcpynW(w .R6, p r3, i ${NSIS_MAX_STRLEN})'
                System::Call 'kernel32::LocalFree(p r3)'
            ${EndIf}
        ${EndIf}
        System::Free $1
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
FunctionEnd

; Sets the program's close event of the user $R6 in this session, when a copy
; has made it. Uses $7.
Function ${un}SetCloseEvent
    ${If} $R6 == ""
        Return
    ${EndIf}
    System::Call 'kernel32::OpenEventW(i ${EVENT_MODIFY_STATE}, i 0, w "Local\${PRODUCT}.$R6.Close") p .r7'
    ${If} $7 P<> 0
        System::Call 'kernel32::SetEvent(p r7)'
        System::Call 'kernel32::CloseHandle(p r7)'
    ${EndIf}
FunctionEnd

Function ${un}EndProgram
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    Push $6
    Push $7
    Push $8
    Push $9
    Push $R6
    Push $R7
    Push $R8
    Push $R9
    Call ${un}UserSid
    ; Without the program in place nothing of it can be running from there.
    System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR\${EXE}", w .R9, i ${NSIS_MAX_STRLEN}) i .r7'
    ${If} $7 = 0
        Goto done
    ${EndIf}
    System::Call 'kernel32::GetLongPathNameW(w "$INSTDIR\${GUARD}", w .R7, i ${NSIS_MAX_STRLEN}) i .r7'
    ${If} $7 = 0
        StrCpy $R7 "?"  ; no guard in place: a name no process has
    ${EndIf}
    ; Every top-level window of that title, the program's main window and its
    ; overclock panel (which only hides), is asked to close.
    StrCpy $3 0
    ${Do}
        System::Call 'user32::FindWindowExW(p 0, p r3, p 0, w "${PRODUCT}") p .r3'
        ${If} $3 P= 0
            ${Break}
        ${EndIf}
        System::Call 'user32::GetWindowThreadProcessId(p r3, *i .r0)'
        Call ${un}OpenIfOurs
        ${If} $1 P<> 0
            DetailPrint "Closing $(^Name)..."
            Call ${un}SetCloseEvent
            System::Call 'user32::PostMessageW(p r3, i ${WM_CLOSE}, p 0, p 0)'
            System::Call 'kernel32::CloseHandle(p r1)'
        ${EndIf}
    ${Loop}
    ; The windowed processes first: a fan guard ends only after its program.
    ${Do}
        StrCpy $3 0
        StrCpy $1 0
        ${Do}
            System::Call 'user32::FindWindowExW(p 0, p r3, p 0, w "${PRODUCT}") p .r3'
            ${If} $3 P= 0
                ${Break}
            ${EndIf}
            System::Call 'user32::GetWindowThreadProcessId(p r3, *i .r0)'
            Call ${un}OpenIfOurs
        ${LoopUntil} $1 P<> 0
        ${If} $1 P= 0
            ${Break}
        ${EndIf}
        Call ${un}AwaitEnd
    ${Loop}
    ; Then every other process of the program, and its fan guards.
    System::Alloc 16384
    Pop $4
    System::Call 'psapi::EnumProcesses(p r4, i 16384, *i .r5) i .r7'
    ${If} $7 = 0
        StrCpy $5 0
    ${EndIf}
    StrCpy $6 0
    ${DoWhile} $6 < $5
        IntPtrOp $7 $4 + $6
        System::Call '*$7(i .r0)'
        Call ${un}OpenIfOurs
        ${If} $1 P<> 0
            Call ${un}AwaitEnd
        ${EndIf}
        IntOp $6 $6 + 4
    ${Loop}
    System::Free $4
done:
    Pop $R9
    Pop $R8
    Pop $R7
    Pop $R6
    Pop $9
    Pop $8
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_PROGRAM ""
!insertmacro DEFINE_END_PROGRAM "un."

Section "${PRODUCT}" SecProgram
    SectionIn RO
    Call EndProgram
    SetOutPath "$INSTDIR"
    File "${STAGE}/${EXE}"
    File "${STAGE}/${GUARD}"
    File "${STAGE}/README.txt"
    SetOutPath "$INSTDIR\licenses"
    File "${STAGE}/licenses/*.txt"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    CreateShortcut "${SHORTCUT}" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Uninstalling keeps the user's settings unless this is chosen, or, in silent
; mode, /REMOVEPROFILES is given.
Section "un.${PRODUCT}" SecUnProgram
    SectionIn RO
    Call un.EndProgram
    ; The program writes the machine's value when it may, else the user's.
    ; Without administrator rights the machine's value cannot be removed.
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    Delete "${SHORTCUT}"
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\${GUARD}"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\licenses\*.txt"
    RMDir "$INSTDIR\licenses"
    Delete "$INSTDIR\${UNINSTALLER}"
SectionEnd

Section /o "un.Settings (profile files)" SecUnProfiles
    Delete "$INSTDIR\Quilo_ID*.ini"
    Delete "$LOCALAPPDATA\${PRODUCT}\Quilo_ID*.ini"
    RMDir "$LOCALAPPDATA\${PRODUCT}"
SectionEnd

; Last, so that the entry goes only once everything else has.
Section "-un.Entry"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

Function un.onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVEPROFILES" $1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecUnProfiles} ${SF_SELECTED}
    ${EndIf}
FunctionEnd
