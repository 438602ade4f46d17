# Makes sure Visual Studio 2022 has the MSVC toolset of one version (14.39, the host's), adding its
# component with the Visual Studio installer when the image lacks it.
# Usage: pwsh scripts/msvc-toolset.ps1 14.39 17.9
param([Parameter(Mandatory)][string]$Toolset, [Parameter(Mandatory)][string]$Release)
$ErrorActionPreference = 'Stop'
$installer = "${env:ProgramFiles(x86)}\Microsoft Visual Studio\Installer"
$vs = & "$installer\vswhere.exe" -latest -products * -requires Microsoft.VisualStudio.Component.VC.Tools.x86.x64 -property installationPath
if (-not $vs) { throw 'no Visual Studio with the C++ tools' }
if (Get-ChildItem "$vs\VC\Tools\MSVC" -Directory -Filter "$Toolset.*" -ErrorAction SilentlyContinue) {
  Write-Output "MSVC $Toolset is installed in $vs"
  exit 0
}
$component = "Microsoft.VisualStudio.Component.VC.$Toolset.$Release.x86.x64"
Write-Output "adding $component to $vs"
$process = Start-Process -FilePath "$installer\vs_installer.exe" -Wait -PassThru -ArgumentList @(
  'modify', '--installPath', "`"$vs`"", '--add', $component, '--quiet', '--norestart', '--nocache')
if ($process.ExitCode -ne 0 -and $process.ExitCode -ne 3010) { throw "the installer exited with $($process.ExitCode)" }
if (-not (Get-ChildItem "$vs\VC\Tools\MSVC" -Directory -Filter "$Toolset.*")) { throw "MSVC $Toolset is still missing" }
Write-Output "MSVC $Toolset is installed in $vs"
