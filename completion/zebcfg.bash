# bash completion for zebcfg, zebinstall, zebreg and zebstate.
#
# zebcfg completes its command words, and for the words that name a device
# (s, sq, r, rq, p) the devices that "zebcfg l" lists, read from the store
# that zebcfg itself would use ($ZEBCFG_ROOT or /var/lib/zebcfg). zebreg
# completes its operations, their switches and types, and the registry file
# of export and import. zebstate completes its verbs, kinds and switches.

_zebcfg_words="a aq s sq r rq l p ml ms msq osver stop stopq stopd restart
restartq restartd reboot msg wait"

# The device names that "zebcfg l" lists, one a line.
_zebcfg_devices() {
  "$1" l 2>/dev/null | sed -n 's/^    //p'
}

_zebcfg() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local IFS=$'\n'
  COMPREPLY=()
  if [[ $COMP_CWORD -eq 1 ]]; then
    IFS=$' \t\n'
    COMPREPLY=($(compgen -W "$_zebcfg_words" -- "${cur,,}"))
    return 0
  fi
  if [[ $COMP_CWORD -eq 2 ]]; then
    case ${COMP_WORDS[1],,} in
      s | sq | r | rq | p)
        COMPREPLY=($(compgen -W "$(_zebcfg_devices "${COMP_WORDS[0]}")" \
          -- "$cur"))
        ;;
      wait)
        COMPREPLY=($(compgen -c -- "$cur"))
        ;;
    esac
  fi
  return 0
}

_zebinstall() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=($(compgen -f -X '!*.[iI][nN][fF]' -- "$cur") \
    $(compgen -d -S / -- "$cur"))
  if [[ $COMP_CWORD -eq 1 && $cur == -* ]]; then
    COMPREPLY+=($(compgen -W "--help --version" -- "$cur"))
  fi
  return 0
}

# Registry files (*.reg) and folders, as names of files.
_zebreg_files() {
  compopt -o filenames 2>/dev/null
  COMPREPLY=($(compgen -f -X '!*.[rR][eE][gG]' -- "$1") \
    $(compgen -d -- "$1"))
}

_zebreg() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local IFS=$'\n'
  COMPREPLY=()
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "$(printf '%s\n' add query delete export \
      import --help --version)" -- "${cur,,}"))
    return 0
  fi
  case ${COMP_WORDS[1],,} in
    import)
      [[ $COMP_CWORD -eq 2 ]] && _zebreg_files "$cur"
      ;;
    export)
      if [[ $COMP_CWORD -eq 3 ]]; then
        _zebreg_files "$cur"
      elif [[ $COMP_CWORD -gt 3 ]]; then
        COMPREPLY=($(compgen -W "/y" -- "$cur"))
      fi
      ;;
    *)
      COMPREPLY=($(compgen -W "$(printf '%s\n' /v /ve /t /d /f /s REG_SZ \
        REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_QWORD REG_BINARY \
        REG_NONE)" -- "$cur"))
      ;;
  esac
  return 0
}

_zebstate() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local words
  COMPREPLY=()
  if [[ $COMP_CWORD -eq 1 ]]; then
    words="get test set export schema --help --version"
  else
    case ${COMP_WORDS[1]} in
      test) words="device mapentry --detect --input --input-file" ;;
      set) words="device mapentry --what-if --input --input-file" ;;
      get) words="device mapentry --input --input-file" ;;
      export | schema) words="device mapentry" ;;
    esac
  fi
  COMPREPLY=($(compgen -W "$words" -- "$cur"))
  return 0
}

complete -F _zebcfg zebcfg
complete -o nospace -F _zebinstall zebinstall
complete -F _zebreg zebreg
complete -F _zebstate zebstate
