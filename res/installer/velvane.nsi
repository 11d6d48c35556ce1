; The Windows installer of Velvane: a per-user install that needs no
; administrator rights. scripts/package builds it; makensis gets the version
; and the paths as defines:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DVERSION4=1.0.0.0
;            -DEXE=velvane.exe -DREADME=README.md -DLICENSE=LICENSE
;            -DICON=icon.ico -DOUTFILE=velvane-1.0.0-setup.exe velvane.nsi
;
; Installer: setup.exe [/S] [/D=DIR]. /S installs silently to
; %LOCALAPPDATA%\Programs\Velvane (or DIR, which must come last).
; Uninstaller: uninstall.exe [/S] [/PURGE]. The program's settings
; (HKCU\Software\Keldmark\weather) stay unless the page's box is checked or
; /PURGE is given.
;
; Both end a running Velvane before they touch its files, the way its own
; menu does: WM_COMMAND with the exit item's id to the notification-area
; window, then a bounded wait for the process to go.
Unicode true
; A 64-bit installer for the 64-bit program: it runs where the program does,
; Wine without its 32-bit half included, and sees the 64-bit registry.
Target amd64-unicode

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!macro REQUIRE_DEFINE NAME
  !ifndef ${NAME}
    !error "define ${NAME} with -D${NAME}=..."
  !endif
!macroend
!insertmacro REQUIRE_DEFINE VERSION
!insertmacro REQUIRE_DEFINE VERSION4
!insertmacro REQUIRE_DEFINE EXE
!insertmacro REQUIRE_DEFINE README
!insertmacro REQUIRE_DEFINE LICENSE
!insertmacro REQUIRE_DEFINE ICON
!insertmacro REQUIRE_DEFINE OUTFILE

!define PRODUCT_NAME "Velvane"
!define DISPLAY_NAME "Velvane - Прогноз погоды"
!define PUBLISHER "Keldmark"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvane"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define AUTOSTART_VALUE "Weather"
!define SETTINGS_PARENT "Software\Keldmark"
!define SETTINGS_KEY "Software\Keldmark\weather"
; The program's windows (app/tray_win.cpp, app/main_win.cpp) and the exit
; item of its notification icon's menu (TRAY_ITEM_EXIT in app/tray.h).
!define TRAY_CLASS "Windows_brennix"
!define TRAY_TITLE "brennix"
!define HOST_TITLE "Velvane App"
!define TRAY_ITEM_EXIT 4
!define SYNCHRONIZE 0x00100000
; Tenths of a second to wait for a running instance to end.
!define CLOSE_WAIT_TENTHS 50

Name "${PRODUCT_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velvane"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
SetCompressor /SOLID lzma
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"

Var purge
Var purge_box

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\velvane.exe"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.settings_page_show un.settings_page_leave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

VIAddVersionKey "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Установка ${DISPLAY_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "© ${PUBLISHER}, 2026"

; Ends a running Velvane through its own exit command and waits for its
; process to go. When it is still there after the wait, the user may retry
; or give up; silently it gives up, and the install or uninstall ends with
; error level 2 before any file is touched. Uses $0 to $5.
!macro DEFINE_CLOSE_RUNNING PREFIX
Function ${PREFIX}close_running
  StrCpy $3 0
  System::Call 'user32::FindWindowW(p 0, w "${HOST_TITLE}") p .r1'
  ${If} $1 != 0
    System::Call 'user32::GetWindowThreadProcessId(p r1, *i .r2)'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r2) p .r3'
  ${EndIf}
  send:
    FindWindow $0 "${TRAY_CLASS}" "${TRAY_TITLE}"
    ${If} $0 != 0
      DetailPrint "Завершение работающей программы ${PRODUCT_NAME}"
      SendMessage $0 ${WM_COMMAND} ${TRAY_ITEM_EXIT} 0 /TIMEOUT=5000
    ${EndIf}
    StrCpy $4 0
  wait:
    System::Call 'user32::FindWindowW(p 0, w "${HOST_TITLE}") p .r1'
    StrCmp $1 0 0 still_running
    StrCmp $3 0 done
    System::Call 'kernel32::WaitForSingleObject(p r3, i 0) i .r5'
    IntCmp $5 0 done
  still_running:
    IntCmp $4 ${CLOSE_WAIT_TENTHS} gave_up 0 gave_up
    Sleep 100
    IntOp $4 $4 + 1
    Goto wait
  gave_up:
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "Программа ${PRODUCT_NAME} не завершилась.$\r$\nЗакройте её (меню значка у часов, «Выход») и нажмите «Повтор»." \
      /SD IDCANCEL IDRETRY send
    ${If} $3 != 0
      System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
    SetErrorLevel 2
    Abort "Программа ${PRODUCT_NAME} ещё работает."
  done:
    ${If} $3 != 0
      System::Call 'kernel32::CloseHandle(p r3)'
    ${EndIf}
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING ""
!insertmacro DEFINE_CLOSE_RUNNING "un."

Section "${PRODUCT_NAME}" section_program
  SectionIn RO
  SetShellVarContext current
  Call close_running

  SetOutPath "$INSTDIR"
  File "/oname=velvane.exe" "${EXE}"
  File "/oname=README.md" "${README}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${DISPLAY_NAME}.lnk" "$INSTDIR\velvane.exe" "" "$INSTDIR\velvane.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velvane.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
  StrCpy $purge 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PURGE" $1
  ${IfNot} ${Errors}
    StrCpy $purge 1
  ${EndIf}
FunctionEnd

Function un.settings_page_show
  !insertmacro MUI_HEADER_TEXT "Настройки программы" "Оставить ли настройки ${PRODUCT_NAME} в системе."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 40u \
    "Настройки программы (город, вид панели, прокси и другие) хранятся в реестре Windows. По умолчанию они остаются, чтобы после новой установки ${PRODUCT_NAME} работала как прежде."
  Pop $0
  ${NSD_CreateCheckbox} 0 48u 100% 12u "&Удалить также настройки программы"
  Pop $purge_box
  ${If} $purge = 1
    ${NSD_Check} $purge_box
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.settings_page_leave
  ${NSD_GetState} $purge_box $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $purge 1
  ${Else}
    StrCpy $purge 0
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT_NAME}"
  SetShellVarContext current
  Call un.close_running

  Delete "$INSTDIR\velvane.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${DISPLAY_NAME}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${AUTOSTART_VALUE}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"

  ${If} $purge = 1
    DetailPrint "Удаление настроек программы"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT}"
  ${EndIf}
SectionEnd
