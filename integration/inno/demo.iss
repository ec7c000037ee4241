; Demo setup and uninstaller for the Vantrel tools in Inno Setup 6, the
; same product as ../wix/demo.wxs and ../nsis/demo.nsi: the three programs,
; a stand-in "Vantrel Service" (the tests' test_service.exe), Internet
; shortcuts in English and German on the public desktop and in the Start
; menu, a manifest per language beside the programs, and the calls in
; VantrelTools.iss.
;
; Built by integration/build.sh; by hand:
;   ISCC.exe /DVersion=1.0.0 /DToolsDir=DIR /DFilesDir=DIR /OOUTDIR demo.iss
; ToolsDir holds shortcutsweep.exe, svckeeper.exe, sweepcheck.exe and
; test_service.exe; FilesDir the shortcuts' .url files and
; __shortcutsweep.bat.
;
; Silent use: VantrelDemoInno.exe /VERYSILENT /SUPPRESSMSGBOXES /LOG="FILE",
; also over an older version (a newer one installed refuses it);
; "C:\Program Files\Vantrel Demo\unins000.exe" /VERYSILENT /SUPPRESSMSGBOXES.
;
; Version 1.0.0 also installs "Vantrel Forum.url" in the Start menu; later
; versions no longer do, and their update sweeps it away.

#ifndef Version
  #define Version "1.0.0"
#endif

[Setup]
AppId={{B7C5E0F2-6A1D-4E39-8F24-3D91C0A7E5B6}
AppName=Vantrel Demo
AppVersion={#Version}
AppPublisher=Vantrel
UninstallDisplayName=Vantrel Demo
VersionInfoVersion={#Version}
DefaultDirName={autopf}\Vantrel Demo
DisableProgramGroupPage=yes
PrivilegesRequired=admin
OutputBaseFilename=VantrelDemoInno
Compression=lzma2
SolidCompression=yes

[Files]
Source: "{#ToolsDir}\svckeeper.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#ToolsDir}\shortcutsweep.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#ToolsDir}\sweepcheck.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#ToolsDir}\test_service.exe"; DestDir: "{app}"; Flags: ignoreversion
; Left by an older setup; shortcutsweep deletes it.
Source: "{#FilesDir}\__shortcutsweep.bat"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#FilesDir}\Vantrel Home.url"; DestDir: "{commondesktop}"; Flags: ignoreversion
Source: "{#FilesDir}\Vantrel Startseite.url"; DestDir: "{commondesktop}"; Flags: ignoreversion
Source: "{#FilesDir}\Vantrel Home.url"; DestDir: "{commonprograms}\Vantrel Demo"; Flags: ignoreversion
Source: "{#FilesDir}\Vantrel Startseite.url"; DestDir: "{commonprograms}\Vantrel Demo"; Flags: ignoreversion
Source: "{#FilesDir}\Vantrel Hilfe.url"; DestDir: "{commonprograms}\Vantrel Demo"; Flags: ignoreversion
#if Version == "1.0.0"
Source: "{#FilesDir}\Vantrel Forum.url"; DestDir: "{commonprograms}\Vantrel Demo"; Flags: ignoreversion
#endif

[Dirs]
; The service's log lies outside the install folder, so removal leaves the
; service's own record.
Name: "{commonappdata}\VantrelDemo"; Flags: uninsneveruninstall

[UninstallDelete]
; The manifests and __shortcutsweep.bat: VantrelTools.iss removes them.
Type: dirifempty; Name: "{commonprograms}\Vantrel Demo"

; What the tools' calls report goes to Setup's log (/LOG) and here, with or
; without /LOG: the same file as the NSIS demo's.
#define VANTREL_SETUP_LOG "{commonappdata}\VantrelDemo\setup.log"
#include "VantrelTools.iss"

[Code]
var
  PreviousDir: String; { the folder of the version installed before, if any }

function DemoOpenSCManager(Machine, Database: String; Access: DWORD): THandle;
  external 'OpenSCManagerW@advapi32.dll stdcall';
function DemoOpenService(Manager: THandle; Name: String; Access: DWORD): THandle;
  external 'OpenServiceW@advapi32.dll stdcall';
function DemoCreateService(Manager: THandle; Name, DisplayName: String; Access, ServiceType, StartType,
  ErrorControl: DWORD; BinaryPath: String; Group, TagId, Dependencies, Account, Password: Longint): THandle;
  external 'CreateServiceW@advapi32.dll stdcall';
function DemoChangeServiceConfig(Service: THandle; ServiceType, StartType, ErrorControl: DWORD;
  BinaryPath: String; Group, TagId, Dependencies, Account, Password, DisplayName: Longint): BOOL;
  external 'ChangeServiceConfigW@advapi32.dll stdcall';
function DemoControlService(Service: THandle; Control: DWORD; var Status: TVantrelServiceStatus): BOOL;
  external 'ControlService@advapi32.dll stdcall';
function DemoDeleteService(Service: THandle): BOOL;
  external 'DeleteService@advapi32.dll stdcall';
function DemoCloseServiceHandle(Handle: THandle): BOOL;
  external 'CloseServiceHandle@advapi32.dll stdcall';

{ A newer version installed refuses this one, as the Windows Installer demo
  does: an older version over a newer one would be a second copy. }
function InitializeSetup(): Boolean;
var
  Installed: String;
begin
  if VantrelNewerVersionInstalled('{B7C5E0F2-6A1D-4E39-8F24-3D91C0A7E5B6}_is1', '{#Version}', Installed) then begin
    VantrelReport('Vantrel Demo {#Version}: version ' + Installed + ' is installed, newer than this one; nothing was changed');
    SuppressibleMsgBox('A newer version of Vantrel Demo (' + Installed + ') is already installed.', mbCriticalError, MB_OK, IDOK);
    Result := False;
    Exit;
  end;
  if RegQueryStringValue(HKLM, 'Software\Microsoft\Windows\CurrentVersion\Uninstall\{B7C5E0F2-6A1D-4E39-8F24-3D91C0A7E5B6}_is1',
                         'InstallLocation', PreviousDir) then
    PreviousDir := RemoveBackslashUnlessRoot(PreviousDir)
  else
    PreviousDir := '';
  Result := True;
end;

{ Registers the service on demand, or points an existing registration at
  this version's program; svckeeper, not the setup, makes it automatic and
  starts it. }
procedure RegisterService();
var
  Manager, Service: THandle;
  BinaryPath: String;
begin
  BinaryPath := '"' + ExpandConstant('{app}\test_service.exe') + '" running "' +
                ExpandConstant('{commonappdata}\VantrelDemo\service.log') + '"';
  { SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE }
  Manager := DemoOpenSCManager('', 'ServicesActive', 3);
  if Manager = 0 then
    Exit;
  { SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL }
  Service := DemoCreateService(Manager, 'Vantrel Service', 'Vantrel Service', $F01FF, $10, 3, 1, BinaryPath, 0, 0, 0, 0, 0);
  if Service = 0 then begin
    { This copy's registration (an update, maybe from another folder) takes
      this version's program; another copy's is left as it is. }
    if VantrelServiceInFolder(ExpandConstant('{app}')) or
       ((PreviousDir <> '') and VantrelServiceInFolder(PreviousDir)) then begin
      Service := DemoOpenService(Manager, 'Vantrel Service', 2); { SERVICE_CHANGE_CONFIG }
      if Service <> 0 then
        DemoChangeServiceConfig(Service, $FFFFFFFF, $FFFFFFFF, $FFFFFFFF, BinaryPath, 0, 0, 0, 0, 0, 0);
    end else
      Log('"Vantrel Service" runs ' + VantrelServiceProgram + ', another copy''s: left as it is');
  end;
  if Service <> 0 then
    DemoCloseServiceHandle(Service);
  DemoCloseServiceHandle(Manager);
end;

{ Access: SERVICE_STOP ($20) to stop it, DELETE ($10000) to delete it. Only
  this copy's service: one whose program lies elsewhere is another copy's. }
procedure StopOrDeleteService(Access: DWORD);
var
  Manager, Service: THandle;
  Status: TVantrelServiceStatus;
begin
  if not VantrelServiceInFolder(ExpandConstant('{app}')) then
    Exit;
  Manager := DemoOpenSCManager('', 'ServicesActive', 1);
  if Manager = 0 then
    Exit;
  Service := DemoOpenService(Manager, 'Vantrel Service', Access);
  if Service <> 0 then begin
    if Access = $20 then
      DemoControlService(Service, 1, Status)
    else
      DemoDeleteService(Service);
    DemoCloseServiceHandle(Service);
  end;
  DemoCloseServiceHandle(Manager);
end;

procedure WriteManifest(const Path: String; const Lines: TArrayOfString);
begin
  if not VantrelWriteManifest(Path, Lines) then
    RaiseException('The manifest ' + Path + ' could not be written.');
end;

procedure CurStepChanged(CurStep: TSetupStep);
var
  App, Desktop, Menu: String;
  Lines: TArrayOfString;
begin
  App := ExpandConstant('{app}');
  Desktop := ExpandConstant('{commondesktop}');
  Menu := ExpandConstant('{commonprograms}\Vantrel Demo');
  if (CurStep = ssInstall) and (PreviousDir <> '') then begin
    { An update: the installed version's service is stopped before its files
      are touched, wherever they lie. }
    VantrelKeeperStop(PreviousDir + '\svckeeper.exe');
    VantrelWaitServiceStopped(30);
  end;
  if CurStep = ssPostInstall then begin
    { The older version's manifests go first: the sweep below must read only
      the manifest of dropped shortcuts. }
    DeleteFile(App + '\__shortcutsweep-en.ini');
    DeleteFile(App + '\__shortcutsweep-de.ini');
    DeleteFile(App + '\__shortcutsweep-fr.ini');
    DeleteFile(App + '\__shortcutsweep-ja.ini');
#if Version != "1.0.0"
    { An update: the shortcuts earlier versions made and this one no longer
      does (1.0.0 installed Vantrel Forum.url) are swept now, through a
      manifest of their own; the sweep deletes it too. }
    if PreviousDir <> '' then begin
      SetArrayLength(Lines, 1);
      Lines[0] := Menu + '\Vantrel Forum.url';
      WriteManifest(App + '\__shortcutsweep-en.ini', Lines);
      VantrelShortcutSweep(App + '\shortcutsweep.exe');
    end;
#endif
    { The English manifest lists its shortcuts one by one, Vantrel Web.url
      among them, which the product adds later; the German one ends with a
      wildcard line for the desktop. }
    SetArrayLength(Lines, 3);
    Lines[0] := Desktop + '\Vantrel Home.url';
    Lines[1] := Menu + '\Vantrel Home.url';
    Lines[2] := Menu + '\Vantrel Web.url';
#if Version == "1.0.0"
    SetArrayLength(Lines, 4);
    Lines[3] := Menu + '\Vantrel Forum.url';
#endif
    WriteManifest(App + '\__shortcutsweep-en.ini', Lines);
    SetArrayLength(Lines, 4);
    Lines[0] := Desktop + '\Vantrel Startseite.url';
    Lines[1] := Menu + '\Vantrel Startseite.url';
    Lines[2] := Menu + '\Vantrel Hilfe.url';
    Lines[3] := Desktop + '\Vantrel*.url';
    WriteManifest(App + '\__shortcutsweep-de.ini', Lines);

    RegisterService();
    VantrelKeeperStart(App + '\svckeeper.exe');
  end;
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  App: String;
begin
  if CurUninstallStep <> usUninstall then
    Exit;
  App := ExpandConstant('{app}');
  if not VantrelKeeperStop(App + '\svckeeper.exe') then
    StopOrDeleteService($20); { svckeeper is gone: stop the service here }
  VantrelWaitServiceStopped(30);
  { The shortcuts, the manifests and __shortcutsweep.bat are the sweep's to
    delete: it also finds the shortcuts the product added after setup. }
  VantrelShortcutSweep(App + '\shortcutsweep.exe');
  StopOrDeleteService($10000);
end;
