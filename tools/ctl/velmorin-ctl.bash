# Bash completion of velmorin-ctl: commands, their second words and options.
#
# Shipped in the program directory. Load it in a shell with
#   source /opt/velmorin/velmorin-ctl.bash
# or for every shell by copying it to /usr/share/bash-completion/completions/velmorin-ctl.

_velmorin_ctl() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local previous=${COMP_WORDS[COMP_CWORD-1]}
  local words=() i
  # The command's words so far, without the options before it (and --program-dir's value).
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --program-dir) ((i++)) ;;
      --*) ;;
      *) words+=("${COMP_WORDS[i]}") ;;
    esac
  done
  if [[ $previous == --program-dir ]]; then
    COMPREPLY=($(compgen -d -- "$current"))
    return
  fi
  local offer
  case ${#words[@]} in
    0) offer="status users kick say rooms room account ban settings welcome reload online offline plugins log sysinfo ips
              --program-dir --json --help --version" ;;
    1)
      case ${words[0]} in
        room) offer="add edit remove standard" ;;
        account) offer="add edit remove list" ;;
        ban) offer="add remove list user" ;;
        settings) offer="get set reset" ;;
        welcome) offer="get set import export" ;;
        plugins) offer="list enable disable about configure reload" ;;
        log) offer="follow" ;;
        say) offer="--user --room" ;;
        offline) offer="--yes" ;;
        kick) offer="--reason" ;;
      esac
      ;;
    *)
      case "${words[0]} ${words[1]}" in
        "ban add" | "ban remove") [[ ${#words[@]} -eq 2 ]] && offer="ip nick nickpart" ;;
        "ban user") offer="--ip --nick --nickpart" ;;
        "room add") offer="--password --description --store" ;;
        "room edit") offer="--password --description" ;;
        "room remove") offer="--yes" ;;
        "room standard") offer="--none" ;;
        "account add") offer="--comment --inactive --password-stdin" ;;
        "account edit") offer="--comment --active --inactive --password --password-stdin" ;;
        "settings reset") offer="--yes" ;;
        "log follow") offer="--lines" ;;
        "welcome import" | "welcome export")
          COMPREPLY=($(compgen -f -- "$current"))
          return
          ;;
      esac
      ;;
  esac
  COMPREPLY=($(compgen -W "$offer" -- "$current"))
}
complete -F _velmorin_ctl velmorin-ctl ./velmorin-ctl
