; Vantrel tools in an NSIS 3 setup: the calls the product's installer makes
; to svckeeper.exe and shortcutsweep.exe, and the manifests shortcutsweep
; reads.
;
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
; Each program is waited for (ExecWait) and its exit code is ignored; a
; program that cannot be started (file missing) sets the error flag, which
; the macros clear, so the setup goes on. The macros change the error flag
; and nothing else.
;
; The program's path is passed in quotes: svckeeper reads everything after
; its own name as the argument, and an unquoted
; C:\Program Files\...\svckeeper.exe would see "Files\...\svckeeper.exe",
; an argument, and stop the service instead of starting it.

!ifndef VANTREL_TOOLS_NSH
!define VANTREL_TOOLS_NSH

!include LogicLib.nsh

Var VantrelManifest ; the open manifest's file handle

; Service "Vantrel Service" to automatic, and started unless it runs.
!macro VantrelKeeperStart KEEPER
  ExecWait '"${KEEPER}"'
  ClearErrors
!macroend

; Any argument asks the service to stop; the keeper does not wait for it.
!macro VantrelKeeperStop KEEPER
  ExecWait '"${KEEPER}" stop'
  ClearErrors
!macroend

; Deletes the shortcuts the manifests beside the program list, then the
; manifests and __shortcutsweep.bat.
!macro VantrelShortcutSweep SWEEP
  ExecWait '"${SWEEP}"'
  ClearErrors
!macroend

; Waits up to SECONDS for "Vantrel Service" to be stopped (or gone), so that
; its program file is no longer in use when it is replaced or deleted.
!macro VantrelWaitServiceStopped SECONDS
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
!macroend

; Starts a manifest: UTF-8 with a byte-order mark. Any file of that name is
; replaced.
!macro VantrelManifestOpen PATH
  FileOpen $VantrelManifest "${PATH}" w
  FileWriteByte $VantrelManifest 239
  FileWriteByte $VantrelManifest 187
  FileWriteByte $VantrelManifest 191
!macroend

; One entry, a full path, in UTF-8 and ended by CR LF like every line, the
; last one included: the sweep never acts on a piece without CR LF. NSIS's
; own FileWrite would convert the text to the ANSI code page, so the text is
; converted with WideCharToMultiByte and written with WriteFile on the same
; handle.
!macro VantrelManifestLine TEXT
  Push $0
  Push $1
  Push $2
  StrCpy $0 "${TEXT}$\r$\n"
  ; The size in bytes, with the terminating zero, then the bytes themselves.
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p 0, i 0, p 0, p 0) i .r1'
  ${If} $1 > 1
    System::Alloc $1
    Pop $2
    System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p r2, i r1, p 0, p 0) i .r1'
    IntOp $1 $1 - 1
    System::Call 'kernel32::WriteFile(p $VantrelManifest, p r2, i r1, *i 0, p 0) i'
    System::Free $2
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
!macroend

!macro VantrelManifestClose
  FileClose $VantrelManifest
!macroend

!endif
