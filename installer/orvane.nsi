; The per-user setup program of the Orvane keyboard service (see docs/installer.md).
;
; Built by `make installer` from dist/:
;   makensis -DORV_DIST=<dist> -DORV_BUILD=<Windows build folder> -DORV_OUT_DIR=<folder> orvane.nsi
;
; Switches: /S silent, /D=<folder> the target folder (last, without quotes).
; The uninstaller takes /S, and /REMOVEDATA to remove the settings and profiles too.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!include "${ORV_BUILD}/installer/version.nsh"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define SERVICE_EXE "OrvaneHid.exe"
!define SERVICE_WINDOW "Orvane_Hid"
!define SERVICE_MUTEX "Orvane_Hid_MUTEX"
!define TRAY_WINDOW "Orvane_TrayIcon"
!define OSD_WINDOW "Orvane OSD"
!define UNINSTALLER "OrvaneHid-uninstall.exe"
!define STATE_FILE "OrvaneHid-install.ini"
!define ORIGINALS "OrvaneHid-originals"
!define DATA_DIR "$APPDATA\Orvane"
!define DATA_KEY "SOFTWARE\Orvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "OrvaneHid"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OrvaneHid"
; How long a running program gets to end after it was asked to close. A service
; busy with the keyboard holds its queue 3 s for each plug notice.
!define CLOSE_WAIT_MS 30000
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0

Name "${ORV_PRODUCT_NAME}"
OutFile "${ORV_OUT_DIR}/OrvaneSetup-${ORV_VERSION}.exe"
InstallDir "$LOCALAPPDATA\Programs\Orvane"
; A second run offers the folder of the first, so that it upgrades in place.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${ORV_PRODUCT_NAME} ${ORV_VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${ORV_VERSION_QUAD}"
VIFileVersion "${ORV_VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${ORV_PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${ORV_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${ORV_VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${ORV_PRODUCT_NAME} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${ORV_PRODUCT_COMPANY}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${ORV_PRODUCT_COMPANY}"

; "full": the whole product in a folder of its own. "suite": only the service,
; beside an installed configuration suite whose other files stay as they are.
Var Mode
; 1 while this folder holds no installation of ours: files found there then
; belong to someone else and are kept aside before they are replaced.
Var Fresh
Var RemoveData
Var RemoveDataBox
Var WasRunning

!define MUI_ABORTWARNING
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs the Orvane keyboard service for you alone; no administrator rights are needed. It starts when you sign in.$\r$\n$\r$\nTo use it with an installed Orvane configuration suite, choose the suite's folder: only the service is replaced there, and uninstalling puts the suite's own back."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "The keyboard service is installed and running. It starts again each time you sign in."
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.DataPage un.DataPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------
; Shared by the setup program and the uninstaller.

; Asks the program that owns the top-level window titled $0 to end with the
; message $1, the way the suite does, and waits for its process. Sets $2 to 1
; when there was such a window, and the error flag when its program is still
; running after CLOSE_WAIT_MS.
!macro DEFINE_CLOSE_PROGRAM un
Function ${un}CloseProgram
    Push $R0
    Push $R1
    Push $R2
    Push $R3
    Push $R4
    ClearErrors
    StrCpy $R4 0
    StrCpy $2 0
    ${Do}
        FindWindow $R0 "" "$0"
        ${If} $R0 == 0
            ${ExitDo}
        ${EndIf}
        ; A window that comes back after its program ended belongs to a new
        ; start; give up after a few rounds rather than loop for ever.
        StrCpy $2 1
        IntOp $R4 $R4 + 1
        ${If} $R4 > 3
            SetErrors
            ${ExitDo}
        ${EndIf}
        DetailPrint "Closing $0"
        System::Call 'user32::GetWindowThreadProcessId(p R0, *i 0 R1)'
        System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R1) p .R2'
        System::Call 'user32::PostMessageW(p R0, i $1, p 0, p 0)'
        ${If} $R2 P= 0
            ; No handle to wait on: wait for the window instead.
            StrCpy $R3 0
            ${Do}
                Sleep 100
                IntOp $R3 $R3 + 100
                IsWindow $R0 0 +2
                ${ExitDo}
            ${LoopUntil} $R3 >= ${CLOSE_WAIT_MS}
            IsWindow $R0 0 +2
            SetErrors
        ${Else}
            System::Call 'kernel32::WaitForSingleObject(p R2, i ${CLOSE_WAIT_MS}) i .R3'
            System::Call 'kernel32::CloseHandle(p R2)'
            ${If} $R3 != ${WAIT_OBJECT_0}
                SetErrors
            ${EndIf}
        ${EndIf}
        ${If} ${Errors}
            ${ExitDo}
        ${EndIf}
    ${Loop}
    Pop $R4
    Pop $R3
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_PROGRAM ""
!insertmacro DEFINE_CLOSE_PROGRAM "un."

; Closes the running service, also one that is still starting: it holds its
; single-instance mutex before its window exists. Sets $2 to 1 when a service
; was running, and the error flag when one is still there after the wait.
!macro DEFINE_CLOSE_SERVICE un
Function ${un}CloseService
    Push $R0
    Push $R1
    Push $R2
    StrCpy $R0 0
    StrCpy $R1 0
    ${Do}
        StrCpy $0 "${SERVICE_WINDOW}"
        StrCpy $1 ${WM_CLOSE}
        Call ${un}CloseProgram
        ${If} ${Errors}
            StrCpy $R1 1
            ${ExitDo}
        ${EndIf}
        ${If} $2 == 1
            StrCpy $R1 1
        ${EndIf}
        System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${SERVICE_MUTEX}") p .R2'
        ${If} $R2 P= 0
            ${ExitDo}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p R2)'
        StrCpy $R1 1
        ${If} $R0 >= ${CLOSE_WAIT_MS}
            SetErrors
            ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $R0 $R0 + 100
    ${Loop}
    StrCpy $2 $R1
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_SERVICE ""
!insertmacro DEFINE_CLOSE_SERVICE "un."

; The whole run stops when the service does not end, since its files could
; not be replaced or removed while it runs.
!macro CLOSE_SERVICE_OR_STOP un
    Call ${un}CloseService
    ${If} ${Errors}
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "The running keyboard service did not end. Close it and run this program again." /SD IDOK
        Abort "The running keyboard service did not end."
    ${EndIf}
    StrCpy $WasRunning $2
!macroend

; The service's companions in a folder of our own: the tray-icon program ends
; on WM_CLOSE, the on-screen display on WM_DESTROY (as the service closes it).
!macro CLOSE_COMPANIONS un
    StrCpy $0 "${TRAY_WINDOW}"
    StrCpy $1 ${WM_CLOSE}
    Call ${un}CloseProgram
    StrCpy $0 "${OSD_WINDOW}"
    StrCpy $1 ${WM_DESTROY}
    Call ${un}CloseProgram
    ClearErrors
!macroend

; ---------------------------------------------------------------------------
; Setup.

Function DetectMode
    ${If} ${FileExists} "$INSTDIR\${STATE_FILE}"
        StrCpy $Fresh 0
        ReadINIStr $Mode "$INSTDIR\${STATE_FILE}" "Install" "Mode"
        ${If} $Mode != "suite"
            StrCpy $Mode "full"
        ${EndIf}
    ${Else}
        StrCpy $Fresh 1
        ${If} ${FileExists} "$INSTDIR\${SERVICE_EXE}"
        ${OrIf} ${FileExists} "$INSTDIR\HidDevice.dll"
            StrCpy $Mode "suite"
        ${Else}
            StrCpy $Mode "full"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function DirectoryLeave
    Call DetectMode
    ${If} $Fresh == 1
    ${AndIf} $Mode == "suite"
        MessageBox MB_OKCANCEL|MB_ICONINFORMATION "This folder holds an installed Orvane suite.$\r$\n$\r$\nOnly the service (${SERVICE_EXE}) is replaced; the suite's own is kept aside and put back when you uninstall. The suite's HidDevice.dll, language file and skins stay as they are." IDOK +2
        Abort
    ${EndIf}
FunctionEnd

; One installation per user: one found in another folder is uninstalled first
; (keeping the settings), so that no second copy is left behind without its
; entry in the list of installed programs.
Function RemoveInstallationElsewhere
    ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == ""
    ${OrIf} $R0 == $INSTDIR
    ${OrIfNot} ${FileExists} "$R0\${UNINSTALLER}"
        Return
    ${EndIf}
    DetailPrint "Removing the installation in $R0"
    ExecWait '"$R0\${UNINSTALLER}" /S _?=$R0' $R1
    ${If} $R1 != 0
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "The installation in $R0 could not be removed." /SD IDOK
        Abort "The installation in $R0 could not be removed."
    ${EndIf}
    ; Run in place (_?=), the uninstaller cannot delete itself.
    Delete "$R0\${UNINSTALLER}"
    RMDir "$R0"
FunctionEnd

; Replaces one file of the product. On a fresh install a file of the same name
; that is already there is kept aside in ORIGINALS, for the uninstaller to put
; back; on an upgrade the file there is our own and is simply replaced.
!macro INSTALL_FILE name
    ${If} $Fresh == 1
    ${AndIf} ${FileExists} "$INSTDIR\${name}"
    ${AndIfNot} ${FileExists} "$INSTDIR\${ORIGINALS}\${name}"
        ClearErrors
        Rename "$INSTDIR\${name}" "$INSTDIR\${ORIGINALS}\${name}"
        ${If} ${Errors}
            SetErrorLevel 2
            Abort "Could not keep $INSTDIR\${name} aside."
        ${EndIf}
        DetailPrint "Kept the suite's ${name} aside"
    ${EndIf}
    ClearErrors
    File "/oname=${name}" "${ORV_DIST}/${name}"
    ${If} ${Errors}
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "Could not write $INSTDIR\${name}." /SD IDOK
        Abort "Could not write $INSTDIR\${name}."
    ${EndIf}
!macroend

Section "-Prepare"
    SetShellVarContext current
    Call DetectMode
    Call RemoveInstallationElsewhere
    !insertmacro CLOSE_SERVICE_OR_STOP ""
    ${If} $Mode == "full"
        !insertmacro CLOSE_COMPANIONS ""
    ${EndIf}
    DetailPrint "Installing into $INSTDIR ($Mode)"
    CreateDirectory "$INSTDIR"
    ; Recorded before anything is moved, so that a run stopped half-way is
    ; taken up again as an upgrade of the same kind.
    ClearErrors
    WriteINIStr "$INSTDIR\${STATE_FILE}" "Install" "Mode" $Mode
    WriteINIStr "$INSTDIR\${STATE_FILE}" "Install" "Version" "${ORV_VERSION}"
    ${If} ${Errors}
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "Could not write to $INSTDIR." /SD IDOK
        Abort "Could not write to $INSTDIR."
    ${EndIf}
    CreateDirectory "$INSTDIR\${ORIGINALS}"
    SetOutPath "$INSTDIR"
    SetOverwrite try
SectionEnd

Section "-Service" SEC_SERVICE
    !insertmacro INSTALL_FILE "${SERVICE_EXE}"
SectionEnd

; What a folder of our own needs beside the service. Beside a suite these are
; the suite's: its sibling programs, its keyboard library, language and skins.
Section "-Companions" SEC_COMPANIONS
    ${If} $Mode == "suite"
        Return
    ${EndIf}
    CreateDirectory "$INSTDIR\skins"
    CreateDirectory "$INSTDIR\${ORIGINALS}\skins"
    !insertmacro INSTALL_FILE "osdview.exe"
    !insertmacro INSTALL_FILE "traystub.exe"
    !insertmacro INSTALL_FILE "HidDevice.dll"
    !insertmacro INSTALL_FILE "Strings.xml"
    !insertmacro INSTALL_FILE "skins\updatebar_Mask.bmp"
    !insertmacro INSTALL_FILE "skins\updatebar_n.jpg"
    !insertmacro INSTALL_FILE "skins\updatebar_o.jpg"
SectionEnd

Section "-Register"
    ; Empty when nothing was kept aside.
    RMDir "$INSTDIR\${ORIGINALS}\skins"
    RMDir "$INSTDIR\${ORIGINALS}"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${SERVICE_EXE}"'

    SectionGetSize ${SEC_SERVICE} $0
    ${If} $Mode == "full"
        SectionGetSize ${SEC_COMPANIONS} $1
        IntOp $0 $0 + $1
    ${EndIf}
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${ORV_PRODUCT_NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${ORV_VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${ORV_PRODUCT_COMPANY}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${SERVICE_EXE}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    DetailPrint "Starting the keyboard service"
    ClearErrors
    Exec '"$INSTDIR\${SERVICE_EXE}"'
    ; Setup ends once the service runs, so that what comes next (a script,
    ; the uninstaller) finds it.
    ${IfNot} ${Errors}
        StrCpy $R0 0
        ${Do}
            FindWindow $R1 "" "${SERVICE_WINDOW}"
            ${If} $R1 != 0
            ${OrIf} $R0 >= 10000
                ${ExitDo}
            ${EndIf}
            Sleep 50
            IntOp $R0 $R0 + 50
        ${Loop}
        ${If} $R1 == 0
            SetErrors
        ${EndIf}
    ${EndIf}
    ${If} ${Errors}
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "The keyboard service did not start." /SD IDOK
        Abort "The keyboard service did not start."
    ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------
; Uninstaller.

Function un.onInit
    SetShellVarContext current
    ReadINIStr $Mode "$INSTDIR\${STATE_FILE}" "Install" "Mode"
    ${If} $Mode != "suite"
        StrCpy $Mode "full"
    ${EndIf}
    StrCpy $RemoveData 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVEDATA" $R1
    ${IfNot} ${Errors}
        StrCpy $RemoveData 1
    ${EndIf}
FunctionEnd

; Beside a suite the data folder is the suite's too: its configuration
; program keeps using it, so it is never offered for removal.
Function un.DataPage
    ${If} $Mode == "suite"
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Settings and profiles" "Choose whether your settings and profiles go too."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 40u "Your settings and your six profiles, with their key assignments, macros, lighting and linked programs, are kept in ${DATA_DIR}. When they stay, a later installation finds them again."
    Pop $0
    ${NSD_CreateCheckbox} 0 48u 100% 12u "&Remove my settings and profiles as well"
    Pop $RemoveDataBox
    ${If} $RemoveData == 1
        ${NSD_Check} $RemoveDataBox
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function un.DataPageLeave
    ${NSD_GetState} $RemoveDataBox $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $RemoveData 1
    ${Else}
        StrCpy $RemoveData 0
    ${EndIf}
FunctionEnd

; Removes one file of the product and puts back what it replaced, if anything.
!macro REMOVE_FILE name
    ClearErrors
    Delete "$INSTDIR\${name}"
    ${If} ${Errors}
        SetErrorLevel 2
        MessageBox MB_ICONSTOP "Could not remove $INSTDIR\${name}." /SD IDOK
        Abort "Could not remove $INSTDIR\${name}."
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\${ORIGINALS}\${name}"
        Rename "$INSTDIR\${ORIGINALS}\${name}" "$INSTDIR\${name}"
        DetailPrint "Put back the suite's ${name}"
    ${EndIf}
!macroend

Section "Uninstall"
    !insertmacro CLOSE_SERVICE_OR_STOP "un."
    ${If} $Mode == "full"
        !insertmacro CLOSE_COMPANIONS "un."
    ${EndIf}
    !insertmacro REMOVE_FILE "${SERVICE_EXE}"
    ${If} $Mode == "full"
        !insertmacro REMOVE_FILE "osdview.exe"
        !insertmacro REMOVE_FILE "traystub.exe"
        !insertmacro REMOVE_FILE "HidDevice.dll"
        !insertmacro REMOVE_FILE "Strings.xml"
        !insertmacro REMOVE_FILE "skins\updatebar_Mask.bmp"
        !insertmacro REMOVE_FILE "skins\updatebar_n.jpg"
        !insertmacro REMOVE_FILE "skins\updatebar_o.jpg"
        RMDir "$INSTDIR\skins"
    ${EndIf}
    RMDir "$INSTDIR\${ORIGINALS}\skins"
    RMDir "$INSTDIR\${ORIGINALS}"

    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"

    ${If} $RemoveData == 1
        ${If} $Mode == "suite"
            DetailPrint "The settings and profiles are the suite's too: kept in ${DATA_DIR}"
        ${Else}
            DetailPrint "Removing the settings and profiles"
            RMDir /r "${DATA_DIR}"
            DeleteRegValue HKCU "${DATA_KEY}" "FWVersion"
            DeleteRegValue HKCU "${DATA_KEY}" "DevicePlug"
            DeleteRegKey /ifempty HKCU "${DATA_KEY}"
        ${EndIf}
    ${EndIf}

    Delete "$INSTDIR\${STATE_FILE}"
    Delete "$INSTDIR\${UNINSTALLER}"
    ; Only when nothing else is left in it: the folder may be the suite's, or
    ; one the user keeps other files in.
    RMDir "$INSTDIR"
    ; The suite's own service takes over again at once, as it would at the
    ; next sign-in, when ours was running.
    ${If} $Mode == "suite"
    ${AndIf} $WasRunning == 1
    ${AndIf} ${FileExists} "$INSTDIR\${SERVICE_EXE}"
        DetailPrint "Starting the suite's keyboard service"
        Exec '"$INSTDIR\${SERVICE_EXE}"'
        ClearErrors
    ${EndIf}
    ; Last, so that a script waiting for the entry to go knows the rest is done.
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
