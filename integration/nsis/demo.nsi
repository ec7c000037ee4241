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
; Silent use: VantrelDemoSetup.exe /S, also over an older version;
; "C:\Program Files\Vantrel Demo\uninstall.exe" /S. An NSIS uninstaller
; copies itself away and returns at once; to wait for it, as a script must,
; add _?=<install folder> (it then leaves itself behind).

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
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
  ; An update: the running service's program is about to be replaced.
  ${If} ${FileExists} "$INSTDIR\svckeeper.exe"
    !insertmacro VantrelKeeperStop "$INSTDIR\svckeeper.exe"
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
  SetOutPath "$INSTDIR"

  ; The English manifest lists its shortcuts one by one, Vantrel Web.url
  ; among them, which the product adds later; the German one ends with a
  ; wildcard line for the desktop.
  !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-en.ini"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel Home.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Home.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Web.url"
  !insertmacro VantrelManifestClose
  !insertmacro VantrelManifestOpen "$INSTDIR\__shortcutsweep-de.ini"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel Startseite.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Startseite.url"
  !insertmacro VantrelManifestLine "$SMPROGRAMS\${PRODUCT}\Vantrel Hilfe.url"
  !insertmacro VantrelManifestLine "$DESKTOP\Vantrel*.url"
  !insertmacro VantrelManifestClose

  ; The service's log lies outside the install folder, so removal leaves
  ; the service's own record.
  CreateDirectory "$APPDATA\VantrelDemo"
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

; Registers the service on demand; svckeeper, not the setup, makes it
; automatic and starts it. An existing registration (an update into the same
; folder) is kept as it is.
Function RegisterService
  Push $0
  Push $1
  Push $2
  StrCpy $2 '"$INSTDIR\test_service.exe" running "$APPDATA\VantrelDemo\service.log"'
  ; SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 3) p .r0'
  ${If} $0 P<> 0
    ; SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
    ; SERVICE_ERROR_NORMAL
    System::Call 'advapi32::CreateServiceW(p r0, w "Vantrel Service", w "Vantrel Service", i 0xF01FF, i 0x10, i 3, i 1, w r2, p 0, p 0, p 0, p 0, p 0) p .r1'
    ${If} $1 P<> 0
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Section "Uninstall"
  !insertmacro VantrelKeeperStop "$INSTDIR\svckeeper.exe"
  !insertmacro VantrelWaitServiceStopped 30
  ; The shortcuts, the manifests and __shortcutsweep.bat are the sweep's to
  ; delete: it also finds the shortcuts the product added after setup.
  !insertmacro VantrelShortcutSweep "$INSTDIR\shortcutsweep.exe"
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

Function un.DeleteService
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
