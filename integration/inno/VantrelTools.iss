; Vantrel tools in an Inno Setup 6 script: the calls the product's setup
; makes to svckeeper.exe and shortcutsweep.exe, and the manifests
; shortcutsweep reads. Include it once, anywhere in the script:
;
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
; Each program is waited for and its exit code is ignored (both always end
; with 0). A program that cannot be started (its file gone) is written to
; Setup's log (/LOG, or SetupLogging=yes) as "Vantrel tools: cannot start
; <path>: <text> (error <n>)", and the call returns False, so the script
; can test it; the setup goes on.

[Code]
function VantrelRun(const Exe, Params: String): Boolean;
var
  Path: String;
  ResultCode: Integer;
begin
  Path := RemoveQuotes(Trim(Exe));
  Result := Exec(Path, Params, '', SW_HIDE, ewWaitUntilTerminated, ResultCode);
  if not Result then
    Log(Format('Vantrel tools: cannot start %s: %s (error %d)', [Path, SysErrorMessage(ResultCode), ResultCode]));
end;

{ Service "Vantrel Service" to automatic, and started unless it runs. }
function VantrelKeeperStart(const Keeper: String): Boolean;
begin
  Result := VantrelRun(Keeper, '');
end;

{ Any argument asks the service to stop; the keeper does not wait for it. }
function VantrelKeeperStop(const Keeper: String): Boolean;
begin
  Result := VantrelRun(Keeper, 'stop');
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
  its program file is no longer in use when it is replaced or deleted. }
procedure VantrelWaitServiceStopped(Seconds: Integer);
var
  Manager, Service: THandle;
  Status: TVantrelServiceStatus;
  Tenths: Integer;
begin
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
      Log(Format('Vantrel tools: "Vantrel Service" still not stopped after %d s', [Seconds]));
    VantrelCloseServiceHandle(Service);
  end;
  VantrelCloseServiceHandle(Manager);
end;

{ Writes a manifest: UTF-8 with a byte-order mark, each line a full path
  ended by CR LF, the last one included (the sweep never acts on a piece
  without CR LF). Any file of that name is replaced. False, with a line in
  Setup's log, if it could not be written whole; what was written is then
  deleted. }
function VantrelWriteManifest(const Path: String; const Lines: TArrayOfString): Boolean;
begin
  Result := SaveStringsToUTF8File(Path, Lines, False);
  if not Result then begin
    DeleteFile(Path);
    Log('Vantrel tools: cannot write the manifest ' + Path);
  end;
end;
