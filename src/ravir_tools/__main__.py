from ravir_tools.cli import main

raise SystemExit(main())
