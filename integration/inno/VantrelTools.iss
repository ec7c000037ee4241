; Vantrel tools in an Inno Setup 6 script: the calls the product's setup
; makes to svckeeper.exe and shortcutsweep.exe, the manifests shortcutsweep
; reads, and their removal. Include it once, outside any section's lines:
;
;   #define VANTREL_SETUP_LOG "{commonappdata}\Vendor\setup.log"  ; optional, see below
;   #define VantrelToolsDir "{app}\bin"  ; optional: where the programs lie, "{app}" if not defined
;   #include "VantrelTools.iss"
;
; and call, from your [Code] event functions (demo.iss shows where):
;
;   VantrelKeeperStop(ExpandConstant('{app}\svckeeper.exe'));  before files are replaced or removed
;   VantrelWaitServiceStopped(30);                             the keeper does not wait; this does
;   VantrelShortcutSweep(ExpandConstant('{app}\shortcutsweep.exe'));  on removal, before the files go
;   VantrelKeeperStart(ExpandConstant('{app}\svckeeper.exe')); after install or update
;   VantrelWriteManifest(Path, Lines)                          a manifest, byte for byte
;
; Needs PrivilegesRequired=admin: svckeeper needs full access to the
; service manager and does nothing without it.
;
; The program's path may be given in quotes or not; the calls take quotes
; off, and Inno's Exec puts the path in quotes on the command line:
; svckeeper reads everything after its own name as its argument.
;
; Side by side: svckeeper is run (to stop the service, and to start it)
; only when "Vantrel Service"'s program, as the registry has it, lies in
; this copy's folder: by default the keeper's own folder;
; VantrelKeeperStopIn and VantrelKeeperStartIn take the folder as their
; second argument. Otherwise the service is another copy's (or not
; registered): it is left alone, with a line saying so in the logs below,
; the call returns True, and VantrelWaitServiceStopped after it returns at
; once. VantrelServiceInFolder(Folder) tells the script the same, for its
; own calls to the service manager.
;
; Each program is waited for and its exit code is ignored (both always end
; with 0). A program that cannot be started (its file gone) is reported as
; "Vantrel tools: cannot start <path>: <text> (error <n>)": in Setup's log
; (/LOG, or SetupLogging=yes), in the file VANTREL_SETUP_LOG names when
; the script defines it (UTF-8, the same file and lines as the NSIS macros
; write, /LOG or not), and, in a setup or uninstall that is not silent
; (/SILENT, /VERYSILENT), in a message box. The call returns False, so the
; script can test it; the setup goes on.
;
; The manifests and __shortcutsweep.bat are removed with the product
; ([UninstallDelete] below, in VantrelToolsDir): the sweep deletes them,
; but when it cannot run (its program deleted by hand), the uninstaller
; still does. A manifest is written only to a full path whose file name is
; one of the four manifests' (__shortcutsweep-en.ini, -de, -fr, -ja); any
; other path, an empty one too, is refused (False, and a line in the logs)
; and no file is touched.
;
; A downgrade refused, as the Windows Installer demo refuses it: in
; InitializeSetup, before anything is installed,
;
;   function InitializeSetup(): Boolean;
;   var
;     Installed: String;
;   begin
;     Result := not VantrelNewerVersionInstalled('<AppId>_is1', '<AppVersion>', Installed);
;     if not Result then begin
;       VantrelReport('<AppName>: version ' + Installed + ' is installed, newer than this one; nothing was changed');
;       SuppressibleMsgBox('A newer version of <AppName> is already installed.', mbCriticalError, MB_OK, IDOK);
;     end;
;   end;
;
; where <AppId>_is1 is the uninstall key Inno writes (the AppId with its
; first brace once, as {B7C5...}_is1) and <AppVersion> this setup's
; AppVersion (an ISPP define, as in demo.iss, which does it).

#ifndef VantrelToolsDir
  #define VantrelToolsDir "{app}"
#endif

[UninstallDelete]
Type: files; Name: "{#VantrelToolsDir}\__shortcutsweep-en.ini"
Type: files; Name: "{#VantrelToolsDir}\__shortcutsweep-de.ini"
Type: files; Name: "{#VantrelToolsDir}\__shortcutsweep-fr.ini"
Type: files; Name: "{#VantrelToolsDir}\__shortcutsweep-ja.ini"
Type: files; Name: "{#VantrelToolsDir}\__shortcutsweep.bat"

[Code]
var
  VantrelServiceProgram: String; { the program "Vantrel Service" runs, '' if none }
  VantrelServiceLeftAlone: Boolean; { the last keeper call left it alone }

{ Appends one line to VANTREL_SETUP_LOG, in UTF-8 (a byte-order mark first
  in a new file), CR LF at its end. }
procedure VantrelAppendSetupLog(const Text: String);
#ifdef VANTREL_SETUP_LOG
var
  Path: String;
  Size: Integer;
  Bytes: AnsiString;
begin
  Path := ExpandConstant('{#VANTREL_SETUP_LOG}');
  Bytes := Utf8Encode(Text + #13#10);
  if not FileSize(Path, Size) or (Size = 0) then
    Bytes := Utf8Encode(#$FEFF) + Bytes;
  SaveStringToFile(Path, Bytes, True);
end;
#else
begin
end;
#endif

{ Writes Text to Setup's log and to VANTREL_SETUP_LOG. }
procedure VantrelReport(const Text: String);
begin
  Log(Text);
  VantrelAppendSetupLog(Text);
end;

{ The same, and in a message box unless the setup or uninstall is silent. }
procedure VantrelReportFailure(const Text: String);
var
  Silent: Boolean;
begin
  VantrelReport(Text);
  if IsUninstaller then
    Silent := UninstallSilent
  else
    Silent := WizardSilent;
  if not Silent then
    MsgBox(Text, mbError, MB_OK);
end;

function VantrelRun(const Exe, Params: String): Boolean;
var
  Path: String;
  ResultCode: Integer;
begin
  Path := RemoveQuotes(Trim(Exe));
  Result := Exec(Path, Params, '', SW_HIDE, ewWaitUntilTerminated, ResultCode);
  if not Result then
    VantrelReportFailure(Format('Vantrel tools: cannot start %s: %s (error %d)', [Path,
                                SysErrorMessage(ResultCode), ResultCode]));
end;

function VantrelExpandEnvironmentStrings(Source: String; Target: String; Size: DWORD): DWORD;
  external 'ExpandEnvironmentStringsW@kernel32.dll stdcall';

{ True when "Vantrel Service"'s program, from its binary path in the
  registry (the text in quotes, or up to the first ".exe"), lies in Folder
  or below it; VantrelServiceProgram is that program ('' when there is no
  service). }
function VantrelServiceInFolder(Folder: String): Boolean;
var
  Binary, Expanded: String;
  Size, At: Integer;
begin
  Result := False;
  VantrelServiceProgram := '';
  if not RegQueryStringValue(HKLM, 'SYSTEM\CurrentControlSet\Services\Vantrel Service', 'ImagePath', Binary) then
    Exit;
  if Pos('%', Binary) > 0 then begin
    Expanded := StringOfChar(' ', 4096);
    Size := VantrelExpandEnvironmentStrings(Binary, Expanded, 4096);
    if (Size > 0) and (Size <= 4096) then
      Binary := Copy(Expanded, 1, Size - 1);
  end;
  if Copy(Binary, 1, 1) = '"' then begin
    Binary := Copy(Binary, 2, Length(Binary));
    At := Pos('"', Binary);
    if At > 0 then
      Binary := Copy(Binary, 1, At - 1);
  end else begin
    At := Pos('.exe', Lowercase(Binary));
    if At > 0 then
      Binary := Copy(Binary, 1, At + 3);
  end;
  VantrelServiceProgram := Binary;
  Folder := RemoveBackslashUnlessRoot(RemoveQuotes(Trim(Folder)));
  Result := (Folder <> '') and
            (Lowercase(Copy(Binary, 1, Length(Folder) + 1)) = Lowercase(AddBackslash(Folder)));
end;

{ Runs the keeper with Params when the service's program lies in Folder (or,
  with Folder empty, in the keeper's own folder); otherwise reports that the
  service is left alone. False only when the keeper could not be started. }
function VantrelKeeper(const Keeper, Params, Folder: String): Boolean;
var
  Within: String;
begin
  Within := Folder;
  if Within = '' then
    Within := ExtractFileDir(RemoveQuotes(Trim(Keeper)));
  VantrelServiceLeftAlone := not VantrelServiceInFolder(Within);
  if VantrelServiceLeftAlone then begin
    if VantrelServiceProgram = '' then
      VantrelReport('Vantrel tools: "Vantrel Service" is not registered: ' + Trim(Keeper + ' ' + Params) + ' not run')
    else
      VantrelReport(Format('Vantrel tools: "Vantrel Service" runs %s, which does not lie in this copy''s folder %s: ' +
                           'the service is left alone, %s not run', [VantrelServiceProgram, Within, Trim(Keeper + ' ' + Params)]));
    Result := True;
  end else
    Result := VantrelRun(Keeper, Params);
end;

{ Service "Vantrel Service" to automatic, and started unless it runs. }
function VantrelKeeperStart(const Keeper: String): Boolean;
begin
  Result := VantrelKeeper(Keeper, '', '');
end;

function VantrelKeeperStartIn(const Keeper, Folder: String): Boolean;
begin
  Result := VantrelKeeper(Keeper, '', Folder);
end;

{ Any argument asks the service to stop; the keeper does not wait for it. }
function VantrelKeeperStop(const Keeper: String): Boolean;
begin
  Result := VantrelKeeper(Keeper, 'stop', '');
end;

function VantrelKeeperStopIn(const Keeper, Folder: String): Boolean;
begin
  Result := VantrelKeeper(Keeper, 'stop', Folder);
end;

{ Deletes the shortcuts the manifests beside the program list, then the
  manifests and __shortcutsweep.bat. }
function VantrelShortcutSweep(const Sweep: String): Boolean;
begin
  Result := VantrelRun(Sweep, '');
end;

type
  TVantrelServiceStatus = record
    ServiceType, CurrentState, ControlsAccepted, Win32ExitCode,
    ServiceSpecificExitCode, CheckPoint, WaitHint: DWORD;
  end;

function VantrelOpenSCManager(Machine, Database: String; Access: DWORD): THandle;
  external 'OpenSCManagerW@advapi32.dll stdcall';
function VantrelOpenService(Manager: THandle; Name: String; Access: DWORD): THandle;
  external 'OpenServiceW@advapi32.dll stdcall';
function VantrelQueryServiceStatus(Service: THandle; var Status: TVantrelServiceStatus): BOOL;
  external 'QueryServiceStatus@advapi32.dll stdcall';
function VantrelCloseServiceHandle(Handle: THandle): BOOL;
  external 'CloseServiceHandle@advapi32.dll stdcall';

{ Waits up to Seconds for "Vantrel Service" to be stopped (or gone), so that
  its program file is no longer in use when it is replaced or deleted; at
  once when the last keeper call left the service alone (another copy's). }
procedure VantrelWaitServiceStopped(Seconds: Integer);
var
  Manager, Service: THandle;
  Status: TVantrelServiceStatus;
  Tenths: Integer;
begin
  if VantrelServiceLeftAlone then
    Exit;
  { SC_MANAGER_CONNECT, then SERVICE_QUERY_STATUS }
  Manager := VantrelOpenSCManager('', 'ServicesActive', 1);
  if Manager = 0 then
    Exit;
  Service := VantrelOpenService(Manager, 'Vantrel Service', 4);
  if Service <> 0 then begin
    Tenths := Seconds * 10;
    while Tenths > 0 do begin
      if not VantrelQueryServiceStatus(Service, Status) then
        Break;
      if Status.CurrentState = 1 then { SERVICE_STOPPED }
        Break;
      Sleep(100);
      Tenths := Tenths - 1;
    end;
    if Tenths <= 0 then
      VantrelReport(Format('Vantrel tools: "Vantrel Service" still not stopped after %d s', [Seconds]));
    VantrelCloseServiceHandle(Service);
  end;
  VantrelCloseServiceHandle(Manager);
end;

{ Why Path may not take a manifest, or '' when it may: a full path (a drive
  or a share) whose file name is one of the four manifests'. }
function VantrelManifestPathRefused(const Path: String): String;
var
  Name: String;
begin
  Result := '';
  Name := Lowercase(ExtractFileName(Path));
  if Path = '' then
    Result := 'is empty (a constant or variable left unset?)'
  else if not (((Length(Path) >= 3) and (Copy(Path, 2, 2) = ':\')) or
               ((Length(Path) >= 3) and (Copy(Path, 1, 2) = '\\') and (Pos(Copy(Path, 3, 1), '?.\') = 0))) then
    Result := 'is no full path'
  else if (Name <> '__shortcutsweep-en.ini') and (Name <> '__shortcutsweep-de.ini') and
          (Name <> '__shortcutsweep-fr.ini') and (Name <> '__shortcutsweep-ja.ini') then
    Result := 'names no manifest (__shortcutsweep-en.ini, -de, -fr or -ja)';
end;

{ Writes a manifest: UTF-8 with a byte-order mark, each line a full path
  ended by CR LF, the last one included (the sweep never acts on a piece
  without CR LF). Any file of that name is replaced. False, with a line in
  the logs, if the path is no manifest's (nothing is touched) or if it
  could not be written whole (what was written is then deleted). }
function VantrelWriteManifest(const Path: String; const Lines: TArrayOfString): Boolean;
var
  Why: String;
begin
  Why := VantrelManifestPathRefused(Path);
  if Why <> '' then begin
    VantrelReport('Vantrel tools: the manifest''s path "' + Path + '" ' + Why + ': nothing written');
    Result := False;
    Exit;
  end;
  Result := SaveStringsToUTF8File(Path, Lines, False);
  if not Result then begin
    DeleteFile(Path);
    VantrelReport('Vantrel tools: cannot write the manifest ' + Path);
  end;
end;

{ Compares two versions of dotted numbers ("1.10.0" > "1.9.2"); a missing
  part counts as 0. }
function VantrelCompareVersions(A, B: String): Integer;
var
  PartA, PartB, At: Integer;
begin
  Result := 0;
  while (Result = 0) and ((A <> '') or (B <> '')) do begin
    At := Pos('.', A);
    if At = 0 then At := Length(A) + 1;
    PartA := StrToIntDef(Copy(A, 1, At - 1), 0);
    A := Copy(A, At + 1, Length(A));
    At := Pos('.', B);
    if At = 0 then At := Length(B) + 1;
    PartB := StrToIntDef(Copy(B, 1, At - 1), 0);
    B := Copy(B, At + 1, Length(B));
    if PartA > PartB then
      Result := 1
    else if PartA < PartB then
      Result := -1;
  end;
end;

{ True when the product whose uninstall key is UninstallKey (AppId + '_is1')
  is installed in a version newer than ThisVersion; Installed is then that
  version. }
function VantrelNewerVersionInstalled(const UninstallKey, ThisVersion: String; var Installed: String): Boolean;
begin
  Result := RegQueryStringValue(HKLM, 'Software\Microsoft\Windows\CurrentVersion\Uninstall\' + UninstallKey,
                                'DisplayVersion', Installed) and
            (VantrelCompareVersions(Installed, ThisVersion) > 0);
end;
