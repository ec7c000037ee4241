; Demo setup and uninstaller for the Vantrel tools, the same product as
; ../wix/demo.wxs: the three programs, a stand-in "Vantrel Service" (the
; tests' test_service.exe), Internet shortcuts in English and German on the
; public desktop and in the Start menu, a manifest per language beside the
; programs, and the calls in VantrelTools.nsh.
;
; Built by integration/build.sh; by hand:
;   makensis -DVERSION=1.0.0 -DTOOLSDIR=DIR -DFILESDIR=DIR -DOUTFILE=VantrelDemoSetup.exe demo.nsi
; TOOLSDIR holds shortcutsweep.exe, svckeeper.exe, sweepcheck.exe and
; test_service.exe; FILESDIR the shortcuts' .url files and
; __shortcutsweep.bat.
;
; Silent use: VantrelDemoSetup.exe /S, also over an older version (add
; /D=<folder> for another folder); "C:\Program Files\Vantrel Demo\uninstall.exe"
; /S. An NSIS uninstaller copies itself away and returns at once; to wait
; for it, as a script must, add _?=<install folder> (it then leaves itself
; behind).
;
; Version 1.0.0 also installs "Vantrel Forum.url" in the Start menu; later
; versions no longer do, and their update sweeps it away.

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
; What the tools' calls report goes to the details list and here: a silent
; setup shows no details.
!define VANTREL_SETUP_LOG "$APPDATA\VantrelDemo\setup.log"
!include "VantrelTools.nsh"

!define PRODUCT "Vantrel Demo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantrelDemo"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "LegalCopyright" "Vantrel"

Page directory
Page instfiles
UninstPage instfiles

; Per machine: $DESKTOP is the public desktop, $SMPROGRAMS the common Start
; menu, $APPDATA the ProgramData folder.
Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Install"
  CreateDirectory "$APPDATA\VantrelDemo"
  ; An update: the installed version's service is stopped before its files
  ; are touched, wherever they lie (this one may go to another folder).
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
    !insertmacro VantrelKeeperStop "$R0\svckeeper.exe"
    !insertmacro VantrelWaitServiceStopped 30
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${TOOLSDIR}/svckeeper.exe"
  File "${TOOLSDIR}/shortcutsweep.exe"
  File "${TOOLSDIR}/sweepcheck.exe"
  File "${TOOLSDIR}/test_service.exe"
  ; Left by an older setup; shortcutsweep deletes it.
  File "${FILESDIR}/__shortcutsweep.bat"

  SetOutPath "$DESKTOP"
  File "${FILESDIR}/Vantrel Home.url"
  File "${FILESDIR}/Vantrel Startseite.url"
  SetOutPath "$SMPROGRAMS\${PRODUCT}"
  File "${FILESDIR}/Vantrel Home.url"
  File "${FILESDIR}/Vantrel Startseite.url"
  File "${FILESDIR}/Vantrel Hilfe.url"
!if "${VERSION}" == "1.0.0"
  File "${FILESDIR}/Vantrel Forum.url"
!endif
  SetOutPath "$INSTDIR"

  ; The older version's folder, when this one goes elsewhere: its programs,
  ; manifests and uninstaller go (the shortcuts stay: they are this
  ; version's too).
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
    Call RemoveOldFolder
  ${EndIf}

  ; The older version's manifests go first: the sweep below must read only
  ; the manifest of dropped shortcuts.
  Call DeleteManifests
!if "${VERSION}" != "1.0.0"
  ; An update: the shortcuts earlier versions made and this one no longer
  ; does (1.0.0 installed Vantrel Forum.url) are swept now, through a
  ; manifest of their own; the sweep deletes it too.
  ${If} $R0 != ""
    !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-en.ini"
    !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Forum.url"
    !insertmacro VantrelManifestClose
    !insertmacro VantrelShortcutSweep "$INSTDIR\shortcutsweep.exe"
  ${EndIf}
!endif

  ; The English manifest lists its shortcuts one by one, Vantrel Web.url
  ; among them, which the product adds later; the German one ends with a
  ; wildcard line for the desktop.
  !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-en.ini"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel Home.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Home.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Web.url"
!if "${VERSION}" == "1.0.0"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Forum.url"
!endif
  !insertmacro VantrelManifestClose
  !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-de.ini"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel Startseite.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Startseite.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Hilfe.url"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel*.url"
  !insertmacro VantrelManifestClose

  ; The service's log lies outside the install folder, so removal leaves
  ; the service's own record.
  Call RegisterService

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vantrel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'

  !insertmacro VantrelKeeperStart "$INSTDIR\svckeeper.exe"
SectionEnd

!macro DeleteManifestsIn FOLDER
  Delete "${FOLDER}\__shortcutsweep-en.ini"
  Delete "${FOLDER}\__shortcutsweep-de.ini"
  Delete "${FOLDER}\__shortcutsweep-fr.ini"
  Delete "${FOLDER}\__shortcutsweep-ja.ini"
!macroend

Function DeleteManifests
  !insertmacro DeleteManifestsIn "$INSTDIR"
FunctionEnd

; The folder of the version installed before ($R0), when it is not $INSTDIR.
Function RemoveOldFolder
  !insertmacro DeleteManifestsIn "$R0"
  Delete "$R0\__shortcutsweep.bat"
  Delete "$R0\svckeeper.exe"
  Delete "$R0\shortcutsweep.exe"
  Delete "$R0\sweepcheck.exe"
  Delete "$R0\test_service.exe"
  Delete "$R0\uninstall.exe"
  RMDir "$R0"
FunctionEnd

; Registers the service on demand; svckeeper, not the setup, makes it
; automatic and starts it. An existing registration of this copy (an
; update) is kept, with this version's program: the folder may have
; changed. One whose program lies in neither this folder nor the older
; version's is another copy's, and is left as it is.
Function RegisterService
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $2 '"$INSTDIR\test_service.exe" running "$APPDATA\VantrelDemo\service.log"'
  ; SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 3) p .r0'
  ${If} $0 P<> 0
    ; SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
    ; SERVICE_ERROR_NORMAL
    System::Call 'advapi32::CreateServiceW(p r0, w "Vantrel Service", w "Vantrel Service", i 0xF01FF, i 0x10, i 3, i 1, w r2, p 0, p 0, p 0, p 0, p 0) p .r1'
    ${If} $1 P= 0
      !insertmacro VantrelServiceInFolder "$INSTDIR"
      StrCpy $3 $VantrelServiceHere
      ${If} $3 = 0
      ${AndIf} $R0 != ""
        !insertmacro VantrelServiceInFolder "$R0"
        StrCpy $3 $VantrelServiceHere
      ${EndIf}
      ${If} $3 = 1
        ; SERVICE_CHANGE_CONFIG; SERVICE_NO_CHANGE for type, start and error control
        System::Call 'advapi32::OpenServiceW(p r0, w "Vantrel Service", i 2) p .r1'
        ${If} $1 P<> 0
          System::Call 'advapi32::ChangeServiceConfigW(p r1, i -1, i -1, i -1, w r2, p 0, p 0, p 0, p 0, p 0, p 0) i'
        ${EndIf}
      ${Else}
        DetailPrint '"Vantrel Service" runs $VantrelServiceProgram, another copy$\'s: left as it is'
      ${EndIf}
    ${EndIf}
    ${If} $1 P<> 0
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Section "Uninstall"
  ; Only when the service runs this copy's program: another copy's, beside
  ; this one, is left alone (the setup log says so).
  !insertmacro VantrelKeeperStop "$INSTDIR\svckeeper.exe"
  ${If} ${Errors}
    ; svckeeper is gone (reported in the setup log): stop the service here,
    ; or its program could not be deleted.
    Call un.StopService
  ${EndIf}
  !insertmacro VantrelWaitServiceStopped 30
  ; The shortcuts, the manifests and __shortcutsweep.bat are the sweep's to
  ; delete: it also finds the shortcuts the product added after setup.
  !insertmacro VantrelShortcutSweep "$INSTDIR\shortcutsweep.exe"
  ${If} ${Errors}
    ; shortcutsweep is gone: what this setup put there goes all the same.
    ; The shortcuts the product added, which only the manifests name, stay.
    Delete "$DESKTOP\Vantrel Home.url"
    Delete "$DESKTOP\Vantrel Startseite.url"
    Delete "$SMPROGRAMS\${PRODUCT}\Vantrel Home.url"
    Delete "$SMPROGRAMS\${PRODUCT}\Vantrel Startseite.url"
    Delete "$SMPROGRAMS\${PRODUCT}\Vantrel Hilfe.url"
    !insertmacro DeleteManifestsIn "$INSTDIR"
    Delete "$INSTDIR\__shortcutsweep.bat"
  ${EndIf}
  Call un.DeleteService

  Delete "$INSTDIR\svckeeper.exe"
  Delete "$INSTDIR\shortcutsweep.exe"
  Delete "$INSTDIR\sweepcheck.exe"
  Delete "$INSTDIR\test_service.exe"
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: files the product or the user put there stay.
  RMDir "$SMPROGRAMS\${PRODUCT}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function un.StopService
  Push $0
  Push $1
  Push $2
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r0' ; SC_MANAGER_CONNECT
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "Vantrel Service", i 0x20) p .r1' ; SERVICE_STOP
    ${If} $1 P<> 0
      System::Call '*(i, i, i, i, i, i, i) p .r2' ; SERVICE_STATUS
      System::Call 'advapi32::ControlService(p r1, i 1, p r2) i' ; SERVICE_CONTROL_STOP
      System::Free $2
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Only this copy's service: one whose program lies elsewhere is another
; copy's.
Function un.DeleteService
  !insertmacro VantrelServiceInFolder "$INSTDIR"
  ${If} $VantrelServiceHere = 0
    Return
  ${EndIf}
  Push $0
  Push $1
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 1) p .r0' ; SC_MANAGER_CONNECT
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "Vantrel Service", i 0x10000) p .r1' ; DELETE
    ${If} $1 P<> 0
      System::Call 'advapi32::DeleteService(p r1) i'
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
