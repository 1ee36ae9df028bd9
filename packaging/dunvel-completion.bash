# bash completion for dunvel-watch, dunvel-host and dunvel-preview. Installed once per command
# name, so bash-completion loads it for whichever of the three is completed first.

_dunvel_sizes="40mm 41mm 42mm 44mm 45mm 46mm 49mm 49mm-3"
_dunvel_text_sizes="xSmall small large xLarge xxLarge xxxLarge AX1 AX2 AX3"

# Files and folders, without bash-completion's helpers, so the script stands on its own.
_dunvel_files() {
  compopt -o filenames 2>/dev/null
  COMPREPLY=($(compgen "${1:--f}" -- "$cur"))
}

# Completes the value of the option before the cursor; returns 1 when prev takes no value.
_dunvel_option_value() {
  local prev=$1 cur=$2
  case $prev in
    --size|--sizes) COMPREPLY=($(compgen -W "$_dunvel_sizes all" -- "$cur")) ;;
    --text-size) COMPREPLY=($(compgen -W "$_dunvel_text_sizes" -- "$cur")) ;;
    --link|--record|-o|--output|--link-file|--token-file|--tls-cert|--tls-key|--tls-key-pass-file)
      _dunvel_files ;;
    --frames|--references|--out) _dunvel_files -d ;;
    --scale|--now|--speed|--from|--tolerance|--columns|--max-frames|--max-pixels|--jobs|--listen|--token|--allow-origin) ;;
    *) return 1 ;;
  esac
  return 0
}

_dunvel_watch() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} cword=$COMP_CWORD
  local words=("${COMP_WORDS[@]}")
  _dunvel_option_value "$prev" "$cur" && return
  COMPREPLY=($(compgen -W "--help --version --headless --link --demo --size --scale --text-size
    --frames --record --listen --tls-cert --tls-key --tls-key-pass-file --token-file --token
    --allow-origin --view" -- "$cur"))
}

_dunvel_host() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} cword=$COMP_CWORD
  local words=("${COMP_WORDS[@]}")
  _dunvel_option_value "$prev" "$cur" && return
  local command=${words[1]}
  if [ "$cword" -eq 1 ]; then
    COMPREPLY=($(compgen -W "push listen demo replay --help --version" -- "$cur"))
    return
  fi
  case $command in
    push) COMPREPLY=($(compgen -W "--message --opened-now --strict --timeout --link --link-file --help" -- "$cur")) ;;
    listen) COMPREPLY=($(compgen -W "--link --link-file --help" -- "$cur")) ;;
    demo) COMPREPLY=($(compgen -W "--autoplay --link --link-file --help" -- "$cur")) ;;
    replay) COMPREPLY=($(compgen -W "--speed --from --timeout --link --link-file --help" -- "$cur")) ;;
  esac
  [[ $cur == -* ]] || [ "$command" = listen ] || [ "$command" = demo ] || _dunvel_files
}

_dunvel_preview() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} cword=$COMP_CWORD
  local words=("${COMP_WORDS[@]}")
  _dunvel_option_value "$prev" "$cur" && return
  local command=${words[1]}
  if [ "$cword" -eq 1 ]; then
    COMPREPLY=($(compgen -W "state explain tree png variants replay film a11y verify --help --version" -- "$cur"))
    return
  fi
  local options="--help"
  case $command in
    explain) options+=" --json --now" ;;
    tree) options+=" --reachable --now --layout --size --text-size" ;;
    png) options+=" -o --output --reachable --now --size --scale --text-size --a11y" ;;
    a11y) options+=" --json --audit --reachable --now --size --text-size" ;;
    variants) options+=" -o --output --reachable --now --sizes --text-size" ;;
    replay) options+=" --tolerance" ;;
    film) options+=" -o --output --size --scale --columns --max-frames --text-size" ;;
    verify) options+=" --references --size --text-size --now --reachable --tolerance --max-pixels
      --record --out --jobs" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  else
    _dunvel_files
  fi
}

complete -F _dunvel_watch dunvel-watch
complete -F _dunvel_host dunvel-host
complete -F _dunvel_preview dunvel-preview
