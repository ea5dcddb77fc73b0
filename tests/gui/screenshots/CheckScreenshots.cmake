# Runs velmorin-screenshots (TOOL) into OUT for both shipped languages and checks that every
# window left a non-empty PNG.
set(windows
  frmServer frmServer-mnuServer frmServer-mnuLog frmServer-mnuView frmServer-mnuExtras frmServer-mnuPlugins frmServer-mnuHelp
  ctlTray-menu
  frmUserInfos frmChatroomInfos frmShowIPs frmServerInfos frmSystemInfos frmAdjustToolbar
  frmSettings-Start frmSettings-General frmSettings-Users frmSettings-Ban frmSettings-Chatrooms
  frmSettings-Log frmSettings-LogPattern frmSettings-Logging frmSettings-Encryption
  frmSettings-WelcomeMessage frmSettings-Icons frmSettings-Plugins frmSettings-Language
  frmBanUser frmSendServerMsg-User frmSendServerMsg-Chatroom frmSendServerMsg-AllUsers frmCreateChat
  frmAddEditChatroom-Add frmAddEditChatroom-Edit frmAddEditChatroom-EditLive
  frmAddEditUser-Add frmAddEditUser-Edit frmAddEditBanIP-Single frmAddEditBanIP-Range
  frmSettings-BanNickAdd frmLoading frmLanguage About)

file(REMOVE_RECURSE ${OUT})
foreach(language English Deutsch)
  execute_process(COMMAND ${TOOL} ${OUT}/${language} ${language} RESULT_VARIABLE status TIMEOUT 200)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "velmorin-screenshots ${language} ended with ${status}")
  endif()
  foreach(window IN LISTS windows)
    set(png ${OUT}/${language}/${window}.png)
    if(NOT EXISTS ${png})
      message(FATAL_ERROR "no screenshot ${png}")
    endif()
    file(SIZE ${png} size)
    if(size EQUAL 0)
      message(FATAL_ERROR "empty screenshot ${png}")
    endif()
  endforeach()
endforeach()
file(REMOVE_RECURSE ${OUT})
