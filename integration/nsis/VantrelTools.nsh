; Vantrel tools in an NSIS 3 setup: the calls the product's installer makes
; to svckeeper.exe and shortcutsweep.exe, and the manifests shortcutsweep
; reads.
;
;   !define VANTREL_SETUP_LOG "$APPDATA\Vendor\setup.log" ; optional, see below
;   !include "VantrelTools.nsh"
;   !insertmacro VantrelKeeperStop "$INSTDIR\svckeeper.exe"       ; before files are replaced or removed
;   !insertmacro VantrelWaitServiceStopped 30                      ; the keeper does not wait; this does
;   !insertmacro VantrelShortcutSweep "$INSTDIR\shortcutsweep.exe" ; on full removal, before the files go
;   !insertmacro VantrelKeeperStart "$INSTDIR\svckeeper.exe"      ; after install or update
;
;   !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-en.ini"
;   !insertmacro VantrelManifestLine "$DESKTOP\Vantrel Home.url"
;   !insertmacro VantrelManifestClose
;
; Needs "Unicode true" (paths outside the ANSI code page) and
; "RequestExecutionLevel admin": svckeeper needs full access to the service
; manager and does nothing without it.
;
; The program's path may be given in quotes or not; the macros take quotes
; off and put their own. The program is named to Windows apart from its
; command line, which starts with the path in quotes: svckeeper reads
; everything after its own name as its argument, so an unquoted
; C:\Program Files\...\svckeeper.exe would see "Files\...\svckeeper.exe",
; an argument, and stop the service instead of starting it.
;
; Side by side: svckeeper is run (to stop the service, and to start it)
; only when "Vantrel Service"'s program, as the registry has it, lies in
; this copy's folder: by default the keeper's own folder;
; VantrelKeeperStopIn and VantrelKeeperStartIn take the folder as their
; second argument. Otherwise the service is another copy's (or not
; registered): it is left alone, with a line saying so, and
; VantrelWaitServiceStopped after it returns at once. VantrelServiceInFolder
; tells the script the same ($VantrelServiceHere is 1 or 0), for its own
; calls to the service manager.
;
; Each program is waited for and its exit code is ignored (both always end
; with 0). A program that cannot be started (its file gone) is reported:
; "Vantrel tools: cannot start <path> (error <n>)" goes to the details
; list and, when the script defines VANTREL_SETUP_LOG (a file whose folder
; exists), is appended to that file, since a silent setup shows no
; details; the error flag is left set, so the script can test it
; (${If} ${Errors}). After a call that worked, or a service left alone, the
; error flag is clear. VANTREL_SETUP_LOG is UTF-8, with a byte-order mark
; when the macros start it, CR LF after every line.
;
; A manifest is written only to a full path whose file name is one of the
; four manifests' (__shortcutsweep-en.ini, -de, -fr, -ja); any other path,
; an empty one too, stops the setup with a message and no file is touched.
; A manifest line is written whole or not at all: a line that cannot be
; (NSIS strings hold NSIS_MAX_STRLEN - 1 characters, 1,023 in the stock
; build; longer text would be cut), and a manifest that cannot be created
; or written, stop the setup (Abort) with a message, and the part-written
; manifest is deleted.

!ifndef VANTREL_TOOLS_NSH
!define VANTREL_TOOLS_NSH

!include LogicLib.nsh

Var VantrelManifest     ; the open manifest's file handle
Var VantrelManifestPath ; and its path
Var VantrelMessage      ; the last failure's text, empty after a success
Var VantrelServiceProgram ; the program "Vantrel Service" runs, empty if none
Var VantrelServiceHere  ; 1 when it lies in the folder last asked about, else 0

!define /math VANTREL_MAX_LINE ${NSIS_MAX_STRLEN} - 1

; Writes $VantrelMessage to the details list and to VANTREL_SETUP_LOG, in
; UTF-8 (NSIS's own FileWrite would write the ANSI code page, and a
; character outside it as "?").
!macro _VantrelReport
  DetailPrint $VantrelMessage
  !ifdef VANTREL_SETUP_LOG
    Push $0
    Push $1
    Push $2
    Push $3
    FileOpen $0 "${VANTREL_SETUP_LOG}" a
    ${If} $0 != ""
      FileSeek $0 0 END $1
      ${If} $1 = 0
        FileWriteByte $0 239
        FileWriteByte $0 187
        FileWriteByte $0 191
      ${EndIf}
      StrCpy $1 "$VantrelMessage$\r$\n"
      System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r1, i -1, p 0, i 0, p 0, p 0) i .r2'
      ${If} $2 > 1
        System::Alloc $2
        Pop $3
        System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r1, i -1, p r3, i r2, p 0, p 0) i .r2'
        IntOp $2 $2 - 1
        System::Call 'kernel32::WriteFile(p r0, p r3, i r2, *i 0, p 0) i'
        System::Free $3
      ${EndIf}
      FileClose $0
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
  !endif
!macroend

; Sets $VantrelServiceProgram to the program "Vantrel Service" runs, from
; its binary path in the registry (the text in quotes, or up to the first
; ".exe"), and $VantrelServiceHere to 1 when that program lies in FOLDER or
; below it, else 0 (another copy's program, or no service).
!macro VantrelServiceInFolder FOLDER
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $0 `${FOLDER}`
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $1 $0 "" -1
    ${IfThen} $1 == '"' ${|} StrCpy $0 $0 -1 ${|}
  ${EndIf}
  StrCpy $1 $0 "" -1
  ${IfThen} $1 == "\" ${|} StrCpy $0 $0 -1 ${|}
  ClearErrors
  ReadRegStr $1 HKLM "SYSTEM\CurrentControlSet\Services\Vantrel Service" "ImagePath"
  ExpandEnvStrings $1 $1
  StrCpy $2 $1 1
  ${If} $2 == '"'
    ; Up to the closing quote.
    StrCpy $1 $1 "" 1
    StrCpy $3 0
    ${Do}
      StrCpy $2 $1 1 $3
      ${IfThen} $2 == "" ${|} ${Break} ${|}
      ${IfThen} $2 == '"' ${|} ${Break} ${|}
      IntOp $3 $3 + 1
    ${Loop}
    StrCpy $1 $1 $3
  ${Else}
    ; Up to the first ".exe", in any letter case.
    StrCpy $3 0
    ${Do}
      StrCpy $2 $1 4 $3
      ${If} $2 == ""
        StrCpy $3 -1
        ${Break}
      ${EndIf}
      ${IfThen} $2 == ".exe" ${|} ${Break} ${|}
      IntOp $3 $3 + 1
    ${Loop}
    ${If} $3 >= 0
      IntOp $3 $3 + 4
      StrCpy $1 $1 $3
    ${EndIf}
  ${EndIf}
  StrCpy $VantrelServiceProgram $1
  StrCpy $VantrelServiceHere 0
  StrLen $2 "$0\"
  StrCpy $3 $1 $2
  ; NSIS compares strings without regard to letter case, as Windows names are.
  ${If} $0 != ""
  ${AndIf} $3 == "$0\"
    StrCpy $VantrelServiceHere 1
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  ClearErrors
!macroend

; Runs PROGRAM (a full path, in quotes or not) with ARGS (empty, or " stop")
; and waits for it; the error flag is set if it could not be started.
!macro _VantrelRun PROGRAM ARGS
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $VantrelMessage ""
  StrCpy $0 `${PROGRAM}`
  StrCpy $1 $0 1
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $1 $0 "" -1
    ${IfThen} $1 == '"' ${|} StrCpy $0 $0 -1 ${|}
  ${EndIf}
  StrCpy $1 '"$0"${ARGS}'
  ; STARTUPINFOW (68 bytes, its size first) and PROCESS_INFORMATION.
  System::Call '*(i 68, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i, i) p .r2'
  System::Call '*(p, p, i, i) p .r3'
  System::Call 'kernel32::CreateProcessW(w r0, w r1, p 0, p 0, i 0, i 0, p 0, p 0, p r2, p r3) i .r1 ?e'
  Pop $4 ; the error, if it failed
  ${If} $1 <> 0
    System::Call '*$3(p .r1, p .r4)'
    System::Call 'kernel32::WaitForSingleObject(p r1, i -1)'
    System::Call 'kernel32::CloseHandle(p r4)'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${Else}
    StrCpy $VantrelMessage "Vantrel tools: cannot start $0 (error $4)"
    !insertmacro _VantrelReport
  ${EndIf}
  System::Free $2
  System::Free $3
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  ClearErrors
  ${IfThen} $VantrelMessage != "" ${|} SetErrors ${|}
!macroend

; The folder part of a path, in place (what comes before the last "\").
!macro _VantrelParentFolder VAR
  Push $1
  Push $2
  StrLen $1 ${VAR}
  ${Do}
    IntOp $1 $1 - 1
    ${IfThen} $1 < 0 ${|} ${Break} ${|}
    StrCpy $2 ${VAR} 1 $1
    ${IfThen} $2 == "\" ${|} ${Break} ${|}
  ${Loop}
  ${If} $1 > 0
    StrCpy ${VAR} ${VAR} $1
  ${EndIf}
  StrCpy $2 ${VAR} 1
  ${IfThen} $2 == '"' ${|} StrCpy ${VAR} ${VAR} "" 1 ${|}
  Pop $2
  Pop $1
!macroend

; Runs KEEPER with ARGS when "Vantrel Service"'s program lies in FOLDER (or,
; with FOLDER empty, in the keeper's own folder); otherwise reports that the
; service is left alone.
!macro _VantrelKeeper KEEPER ARGS FOLDER
  Push $0
  StrCpy $0 `${FOLDER}`
  ${If} $0 == ""
    StrCpy $0 `${KEEPER}`
    StrCpy $0 $0 "" -1
    ${If} $0 == '"'
      StrCpy $0 `${KEEPER}` -1
    ${Else}
      StrCpy $0 `${KEEPER}`
    ${EndIf}
    !insertmacro _VantrelParentFolder $0
  ${EndIf}
  !insertmacro VantrelServiceInFolder $0
  ${If} $VantrelServiceHere = 1
    Pop $0
    !insertmacro _VantrelRun `${KEEPER}` `${ARGS}`
  ${Else}
    ${If} $VantrelServiceProgram == ""
      StrCpy $VantrelMessage 'Vantrel tools: "Vantrel Service" is not registered: ${KEEPER}${ARGS} not run'
    ${Else}
      StrCpy $VantrelMessage 'Vantrel tools: "Vantrel Service" runs $VantrelServiceProgram, which does not lie in this copy$\'s folder $0: the service is left alone, ${KEEPER}${ARGS} not run'
    ${EndIf}
    Pop $0
    !insertmacro _VantrelReport
    ClearErrors
  ${EndIf}
!macroend

; Service "Vantrel Service" to automatic, and started unless it runs.
!macro VantrelKeeperStart KEEPER
  !insertmacro _VantrelKeeper `${KEEPER}` "" ""
!macroend
!macro VantrelKeeperStartIn KEEPER FOLDER
  !insertmacro _VantrelKeeper `${KEEPER}` "" `${FOLDER}`
!macroend

; Any argument asks the service to stop; the keeper does not wait for it.
!macro VantrelKeeperStop KEEPER
  !insertmacro _VantrelKeeper `${KEEPER}` " stop" ""
!macroend
!macro VantrelKeeperStopIn KEEPER FOLDER
  !insertmacro _VantrelKeeper `${KEEPER}` " stop" `${FOLDER}`
!macroend

; Deletes the shortcuts the manifests beside the program list, then the
; manifests and __shortcutsweep.bat.
!macro VantrelShortcutSweep SWEEP
  !insertmacro _VantrelRun `${SWEEP}` ""
!macroend

; Waits up to SECONDS for "Vantrel Service" to be stopped (or gone), so that
; its program file is no longer in use when it is replaced or deleted.
!macro VantrelWaitServiceStopped SECONDS
  ${If} $VantrelServiceHere != 0
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  IntOp $5 ${SECONDS} * 10
  ; SC_MANAGER_CONNECT, then SERVICE_QUERY_STATUS
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r0'
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "Vantrel Service", i 4) p .r1'
    ${If} $1 P<> 0
      System::Call '*(i, i, i, i, i, i, i) p .r2' ; SERVICE_STATUS
      ${Do}
        System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i .r3'
        ${IfThen} $3 = 0 ${|} ${Break} ${|}
        System::Call '*$2(i, i .r4)' ; dwCurrentState
        ${IfThen} $4 = 1 ${|} ${Break} ${|} ; SERVICE_STOPPED
        IntOp $5 $5 - 1
        ${IfThen} $5 <= 0 ${|} ${Break} ${|}
        Sleep 100
      ${Loop}
      System::Free $2
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  ${EndIf}
!macroend

; Stops the setup: the manifest is deleted, the reason reported.
!macro _VantrelManifestFailed WHY
  FileClose $VantrelManifest
  Delete $VantrelManifestPath
  StrCpy $VantrelMessage "Vantrel tools: the manifest $VantrelManifestPath ${WHY}; setup stopped"
  !insertmacro _VantrelReport
  MessageBox MB_OK|MB_ICONSTOP $VantrelMessage /SD IDOK
  Abort
!macroend

; Stops the setup before anything is written: PATH is no manifest's.
!macro _VantrelManifestRefused WHY
  StrCpy $VantrelMessage 'Vantrel tools: the manifest$\'s path "$VantrelManifestPath" ${WHY}: nothing written; setup stopped'
  !insertmacro _VantrelReport
  MessageBox MB_OK|MB_ICONSTOP $VantrelMessage /SD IDOK
  Abort
!macroend

; Starts a manifest: UTF-8 with a byte-order mark. Any file of that name is
; replaced; the name must be a manifest's.
!macro VantrelManifestOpen PATH
  StrCpy $VantrelManifestPath `${PATH}`
  Push $0
  Push $1
  ${If} $VantrelManifestPath == ""
    !insertmacro _VantrelManifestRefused "is empty (a variable left unset?)"
  ${EndIf}
  ; A full path: a drive (C:\) or a share (\\server).
  StrCpy $0 $VantrelManifestPath 1 1
  StrCpy $1 $VantrelManifestPath 1 2
  ${If} $0 == ":"
  ${AndIf} $1 == "\"
    StrCpy $0 ok
  ${Else}
    StrCpy $0 $VantrelManifestPath 2
    StrCpy $1 $VantrelManifestPath 1 2
    ${If} $0 == "\\"
    ${AndIf} $1 != "?"
    ${AndIf} $1 != "."
    ${AndIf} $1 != "\"
    ${AndIf} $1 != ""
      StrCpy $0 ok
    ${EndIf}
  ${EndIf}
  ${If} $0 != ok
    !insertmacro _VantrelManifestRefused "is no full path"
  ${EndIf}
  StrCpy $0 $VantrelManifestPath
  StrCpy $1 $0 23 -23 ; "\__shortcutsweep-xx.ini", compared without regard to letter case
  ${If} $1 != "\__shortcutsweep-en.ini"
  ${AndIf} $1 != "\__shortcutsweep-de.ini"
  ${AndIf} $1 != "\__shortcutsweep-fr.ini"
  ${AndIf} $1 != "\__shortcutsweep-ja.ini"
    !insertmacro _VantrelManifestRefused "names no manifest (__shortcutsweep-en.ini, -de, -fr or -ja)"
  ${EndIf}
  Pop $1
  Pop $0
  ClearErrors
  FileOpen $VantrelManifest $VantrelManifestPath w
  ${If} ${Errors}
    !insertmacro _VantrelManifestFailed "cannot be created"
  ${EndIf}
  FileWriteByte $VantrelManifest 239
  FileWriteByte $VantrelManifest 187
  FileWriteByte $VantrelManifest 191
!macroend

; One entry, a full path, in UTF-8 and ended by CR LF like every line, the
; last one included: the sweep never acts on a piece without CR LF. NSIS's
; own FileWrite would convert the text to the ANSI code page, so the text is
; converted with WideCharToMultiByte and written with WriteFile on the same
; handle; CR LF are written on their own, so that they are never cut off.
!macro VantrelManifestLine TEXT
  Push $0
  Push $1
  Push $2
  StrCpy $0 `${TEXT}`
  StrLen $1 $0
  ${If} $1 >= ${VANTREL_MAX_LINE}
    StrCpy $0 $0 80
    !insertmacro _VantrelManifestFailed "would get a line longer than this NSIS build holds (${VANTREL_MAX_LINE} characters or more): $0..."
  ${EndIf}
  ${If} $1 > 0
    ; The size in bytes, with the terminating zero, then the bytes themselves.
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p 0, i 0, p 0, p 0) i .r1'
    ${If} $1 <= 1
      !insertmacro _VantrelManifestFailed "cannot take the line $0"
    ${EndIf}
    System::Alloc $1
    Pop $2
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p r2, i r1, p 0, p 0) i .r1'
    IntOp $1 $1 - 1
    System::Call 'kernel32::WriteFile(p $VantrelManifest, p r2, i r1, *i 0, p 0) i .r1'
    System::Free $2
    ${If} $1 = 0
      !insertmacro _VantrelManifestFailed "could not be written"
    ${EndIf}
  ${EndIf}
  FileWriteByte $VantrelManifest 13
  FileWriteByte $VantrelManifest 10
  Pop $2
  Pop $1
  Pop $0
!macroend

!macro VantrelManifestClose
  FileClose $VantrelManifest
!macroend

!endif
